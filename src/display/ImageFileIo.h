// Reading and writing helpers shared by the image file formats.
#pragma once

#include "common/FileHandles.h"
#include "display/ImageFiles.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ocu::fileio {

// A regular file open for reading at given offsets. A pipe, a device or a folder is not opened, and
// opening never blocks.
class InputFile {
public:
    explicit InputFile(const std::string& path);
    bool IsOpen() const { return static_cast<bool>(m_fd); }
    uint64_t Size() const { return m_size; }
    // Reads up to count bytes at offset into dst; fewer at the end of the file or on a read error.
    size_t ReadAt(uint64_t offset, uint8_t* dst, size_t count) const;

private:
    UniqueFd m_fd;
    uint64_t m_size = 0;
};

inline uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t LeS32(const uint8_t* p) {
    return static_cast<int32_t>(Le32(p));
}
void AppendLe16(std::string& out, uint16_t value);
void AppendLe32(std::string& out, uint32_t value);
void AppendBytes(std::string& out, const void* bytes, size_t count);

// Sets the note (when there is one) and returns 0, the result of a refusal.
int Refuse(std::string* note, const std::string& reason);
// The remark on a file that held only `got` of the `wanted` bytes; nothing when it held them all.
void NoteShortRead(std::string* note, size_t got, size_t wanted);

// Writes a file the user named, as OcuFile.h describes: a regular file is replaced as a whole (the old one
// stays until the new one is complete on the disk), a pipe or a character device is written into, and
// nothing else is touched; the folder must exist. False, with a note, on failure.
bool WriteWholeFile(const std::string& path, std::string_view content, std::string* note);

// The size readers of each format, for ReadImageSize.
int ReadBmpSize(const std::string& path, int maxWidth, int maxHeight, ImageSize& size, std::string* note);
int ReadRawSize(const std::string& path, int maxWidth, int maxHeight, ImageSize& size, std::string* note);

} // namespace ocu::fileio
