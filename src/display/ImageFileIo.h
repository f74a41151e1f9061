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

// The header of a camera frame of this size and bit count: what an opened image leaves in the display's.
BitmapInfoHeader FrameHeader(int width, int height, int bitCount);

// Sets the note (when there is one) and returns 0, the result of a refusal.
int Refuse(std::string* note, const std::string& reason);
// The remark on a file that held only `got` of the `wanted` bytes, saying what the rest shows; nothing
// when it held them all.
void NoteShortRead(std::string* note, size_t got, size_t wanted,
                   const char* rest = "keeps the previous image");

// Writes a file the user named, as OcuFile.h describes: a regular file is replaced as a whole (the old one
// stays until the new one is complete on the disk), a pipe or a character device is written into, and
// nothing else is touched; the folder must exist. False, with a note, on failure.
bool WriteWholeFile(const std::string& path, std::string_view content, std::string* note);

// Where a BMP file keeps what the viewer shows, as its headers say (checked against the limits).
struct BmpLayout {
    int width = 0;
    int height = 0; // rows, positive
    bool topDown = false;
    int bitCount = 0; // in the file
    uint32_t compression = 0;
    uint32_t colours = 0; // colour-table entries in the file (8 bits or fewer)
    uint32_t tableOffset = 0;
    uint32_t pixelOffset = 0;
    size_t rowBytes = 0;   // the file's rows (uncompressed layouts)
    size_t pixelBytes = 0; // the file's pixels (uncompressed layouts)
    bool decoded = false;  // not read field by field: decoded by Qt's image reader and normalised
    bool gray = false;     // decoded into gray levels, as every colour of its table is a gray
    int shownBitCount = 0; // what the display gets: the file's own, or 24 (colour) or 8 (gray) decoded
};

// Decodes the BMP layouts the viewer does not write (1, 4, 16 and 32 bits, run-length and bit-field
// pixels) with Qt's image reader and stores the image in the display's layout: 24-bit, or for a picture
// whose colour table holds only grays 8-bit levels with the gray table. Reads at most what the layout can
// take from the file, so that what was checked is what is decoded. Header, table and pixels change only
// when the whole image was decoded.
int ReadDecodedBmp(const InputFile& file, const BmpLayout& layout, BitmapInfo& info, uint8_t* pixels,
                   std::string* note);

// The size readers of each format, for ReadImageSize.
int ReadBmpSize(const std::string& path, int maxWidth, int maxHeight, ImageSize& size, std::string* note);
int ReadRawSize(const std::string& path, int maxWidth, int maxHeight, ImageSize& size, std::string* note);

} // namespace ocu::fileio
