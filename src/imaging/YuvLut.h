// The gray lookup file "YUVLut.dat": one gray level for every 24-bit colour, 16 MiB, built once per
// machine and reused by every later run.
#pragma once

#include "common/FileHandles.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace ocu {

inline constexpr size_t kYuvLutSize = size_t{1} << 24;
inline constexpr char kYuvLutFileName[] = "YUVLut.dat";

// The table's rule for the colour (r, g, b): (r × 0.299 + g × 0.587) + b × 0.114 in double precision, in
// exactly that order, truncated. Every file the viewer builds holds this at offset r × 65536 + g × 256 + b.
inline uint8_t GrayLevel(int r, int g, int b) {
    const double level =
        (static_cast<double>(r) * 0.299 + static_cast<double>(g) * 0.587) + static_cast<double>(b) * 0.114;
    return static_cast<uint8_t>(static_cast<int>(level));
}

// Fills kYuvLutSize bytes with GrayLevel of every colour.
void FillYuvLut(uint8_t* table);

// Gray levels of `pixels` blue-green-red pixels, looked up in `table` (kYuvLutSize bytes), or computed by
// the table's rule when there is no table. dst may be src: each gray byte lands behind the pixels still to
// be read.
void BgrToGray(uint8_t* dst, const uint8_t* src, size_t pixels, const uint8_t* table);

// Maps the table at path read-only. A missing file, or one that is not exactly kYuvLutSize bytes long, is
// built first: written beside path and renamed over it, so that no run ever sees a half-built table. A
// file of the right length is used as it stands. Keeps the open file in `file`; empty when the table can
// be neither read nor built.
MappedView MapYuvLutFile(const std::string& path, UniqueFd& file);

// Where the table lives: beside the executable, unless that folder holds no table and cannot be written
// or lies under /usr; then in the cache folder ($XDG_CACHE_HOME/ocuviewer, ~/.cache/ocuviewer when unset).
std::string YuvLutPath();
// The same choice for a given executable folder and cache folder.
std::string ChooseYuvLutPath(const std::string& exeFolder, const std::string& cacheFolder);

// Tests: take `folder` for the executable's folder (an empty text restores the real one).
void SetYuvLutFolderForTesting(std::string folder);

} // namespace ocu
