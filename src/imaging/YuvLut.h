// The gray lookup file "YUVLut.dat": one gray level for every 24-bit colour.
#pragma once

#include <cstddef>
#include <string>

namespace ocu {

inline constexpr size_t kYuvLutSize = size_t{1} << 24;
inline constexpr char kYuvLutFileName[] = "YUVLut.dat";

// "YUVLut.dat" in the executable's folder.
std::string YuvLutPath();

} // namespace ocu
