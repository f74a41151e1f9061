// Whole files in memory: a JPEG is read once, so that what was checked is what is decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ocuutil {

enum class ReadResult { Ok, Unreadable, TooLong };

// Reads the regular file at path, at most maxBytes long. Pipes, devices and folders are unreadable;
// opening one never blocks.
ReadResult ReadFileBytes(const char* path, size_t maxBytes, std::vector<uint8_t>& bytes);

} // namespace ocuutil
