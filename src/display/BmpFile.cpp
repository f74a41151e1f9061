// BMP files: the display bitmap as the file header, its 40-byte header, the colour table and the pixels.
#include "display/ImageFileIo.h"
#include "display/ImageFiles.h"

#include <algorithm>
#include <array>
#include <climits>
#include <optional>

namespace ocu {
namespace {

using namespace fileio;

constexpr uint16_t kBmpMagic = 0x4D42; // "BM"
constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr size_t kColourTableBytes = 256 * sizeof(RgbQuad);
// The file header, the largest info header taken and a full colour table: all that precedes the pixels.
constexpr size_t kMaxHeadBytes = kFileHeaderBytes + 124 + kColourTableBytes;

constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitFields = 3;
// What may lie between the headers and the pixels of a decoded BMP (a colour profile, say).
constexpr uint32_t kMaxDecodedGap = 1 << 20;

bool KnownInfoHeader(uint32_t size) {
    // BITMAPINFOHEADER and its V4 and V5 successors.
    return size == 40 || size == 108 || size == 124;
}

// Why the viewer does not show pixels of this kind; nothing when it does.
std::optional<std::string> PixelProblem(int bitCount, uint32_t compression, bool topDown) {
    const std::string bits = std::to_string(bitCount) + " bits per pixel";
    switch (compression) {
    case kBiRgb:
        if (bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
            bitCount == 32)
            return std::nullopt;
        return bits + " (1, 4, 8, 16, 24 and 32 are shown)";
    case kBiRle8:
    case kBiRle4:
        if (bitCount != (compression == kBiRle8 ? 8 : 4))
            return "run-length pixels of " + bits;
        if (topDown)
            return std::string("a top-down BMP with run-length pixels");
        return std::nullopt;
    case kBiBitFields:
        if (bitCount == 16 || bitCount == 32)
            return std::nullopt;
        return "bit-field pixels of " + bits + " (16 and 32 are shown)";
    default:
        return "BMP pixels of compression " + std::to_string(compression) +
               " (uncompressed, run-length and bit-field pixels are shown)";
    }
}

// Whether every colour of the table, of `colours` entries at `table`, is a gray.
bool GrayTable(const uint8_t* table, uint32_t colours) {
    for (uint32_t i = 0; i < colours; ++i) {
        const uint8_t* c = table + i * sizeof(RgbQuad);
        if (c[0] != c[1] || c[1] != c[2])
            return false;
    }
    return true;
}

// Checks the headers in head (the first headSize bytes of a file of fileSize bytes) against the limits;
// imageBytes 0 leaves the buffer unchecked.
std::optional<BmpLayout> ParseBmp(const uint8_t* head, size_t headSize, uint64_t fileSize, int maxWidth,
                                  int maxHeight, size_t imageBytes, std::string* note) {
    const auto refuse = [note](const std::string& reason) {
        Refuse(note, reason);
        return std::nullopt;
    };
    if (headSize < 2 || Le16(head) != kBmpMagic)
        return refuse("not a BMP file (no BM signature)");
    if (headSize < kFileHeaderBytes + kInfoHeaderBytes)
        return refuse("the file ends inside the BMP headers");
    const uint8_t* h = head + kFileHeaderBytes;
    const uint32_t infoSize = Le32(h);
    if (!KnownInfoHeader(infoSize))
        return refuse("unsupported BMP header of " + std::to_string(infoSize) + " bytes");
    if (headSize < kFileHeaderBytes + infoSize)
        return refuse("the file ends inside the BMP headers");
    const int64_t width = LeS32(h + 4);
    const int64_t signedHeight = LeS32(h + 8);
    const uint16_t planes = Le16(h + 12);
    const uint16_t bitCount = Le16(h + 14);
    const uint32_t compression = Le32(h + 16);
    const uint32_t clrUsed = Le32(h + 32);
    if (planes != 1)
        return refuse(std::to_string(planes) + " planes in a BMP file (only 1 is valid)");
    if (const std::optional<std::string> problem = PixelProblem(bitCount, compression, signedHeight < 0))
        return refuse(*problem);
    const int64_t height = signedHeight < 0 ? -signedHeight : signedHeight;
    if (width <= 0 || height <= 0)
        return refuse("BMP image of " + std::to_string(width) + " x " + std::to_string(signedHeight) +
                      " pixels");
    if (width > maxWidth || height > maxHeight)
        return refuse("BMP image of " + std::to_string(width) + " x " + std::to_string(height) +
                      " pixels, larger than " + std::to_string(maxWidth) + " x " + std::to_string(maxHeight));
    const uint32_t tableLimit = bitCount <= 8 ? 1u << bitCount : 256u;
    if (clrUsed > tableLimit)
        return refuse("a colour table of " + std::to_string(clrUsed) + " entries (at most " +
                      std::to_string(tableLimit) + ")");

    BmpLayout layout;
    layout.width = static_cast<int>(width);
    layout.height = static_cast<int>(height);
    layout.topDown = signedHeight < 0;
    layout.bitCount = bitCount;
    layout.compression = compression;
    layout.colours = bitCount <= 8 ? (clrUsed == 0 ? tableLimit : clrUsed) : 0;
    layout.tableOffset = static_cast<uint32_t>(kFileHeaderBytes) + infoSize;
    layout.pixelOffset = Le32(head + 10);
    // The 8-bit and 24-bit uncompressed images the viewer writes are read field by field; the rest is
    // decoded and shown in colour, or in gray where its table holds only grays.
    layout.decoded = compression != kBiRgb || (bitCount != 8 && bitCount != 24);
    // The masks of bit-field pixels follow a 40-byte header; the newer headers hold them.
    const uint32_t masks = compression == kBiBitFields && infoSize == kInfoHeaderBytes ? 12 : 0;
    if (layout.pixelOffset < layout.tableOffset + layout.colours * sizeof(RgbQuad) + masks)
        return refuse(layout.colours > 0 ? "the BMP pixels start inside the colour table"
                                         : "the BMP pixels start inside the headers");
    if (layout.pixelOffset >= fileSize)
        return refuse("the BMP pixels start past the end of the file");
    // The decoder takes the file from its start; a gap of gigabytes before the pixels is no picture.
    if (layout.decoded && layout.pixelOffset - layout.tableOffset > kMaxDecodedGap)
        return refuse("the BMP pixels start " + std::to_string(layout.pixelOffset) + " bytes into the file");
    layout.gray = layout.decoded && bitCount <= 8 && GrayTable(head + layout.tableOffset, layout.colours);
    layout.shownBitCount = !layout.decoded ? bitCount : layout.gray ? 8 : 24;
    if (compression != kBiRle8 && compression != kBiRle4) {
        const int64_t pixelBytes = DibPixelBytes(layout.width, layout.height, bitCount);
        if (pixelBytes <= 0)
            return refuse("BMP image too large");
        layout.rowBytes = static_cast<size_t>(pixelBytes / layout.height);
        layout.pixelBytes = static_cast<size_t>(pixelBytes);
    }
    const int64_t shownBytes = DibPixelBytes(layout.width, layout.height, layout.shownBitCount);
    if (shownBytes <= 0)
        return refuse("BMP image too large");
    if (imageBytes != 0 && static_cast<size_t>(shownBytes) > imageBytes)
        return refuse("the BMP image of " + std::to_string(width) + " x " + std::to_string(height) +
                      " pixels (" + std::to_string(shownBytes) +
                      " bytes shown) does not fit the display buffer (" + std::to_string(imageBytes) +
                      " bytes)");
    return layout;
}

// Reads the headers and checks them.
std::optional<BmpLayout> ReadLayout(const InputFile& file, std::array<uint8_t, kMaxHeadBytes>& head,
                                    int maxWidth, int maxHeight, size_t imageBytes, std::string* note) {
    const size_t headSize = file.ReadAt(0, head.data(), head.size());
    return ParseBmp(head.data(), headSize, file.Size(), maxWidth, maxHeight, imageBytes, note);
}

} // namespace

int ReadBmpFile(const std::string& path, BitmapInfo& info, uint8_t* pixels, const ImageLimits& limits,
                std::string* note) {
    if (pixels == nullptr || limits.imageBytes == 0)
        return Refuse(note, "no display buffer");
    const InputFile file(path);
    if (!file.IsOpen())
        return Refuse(note, "cannot open the file, or it is no regular file");
    // The display buffer is the limit, as for JPEG files: a picture wider or taller than the sensor is
    // shown as long as it fits.
    std::array<uint8_t, kMaxHeadBytes> head{};
    const std::optional<BmpLayout> layout = ReadLayout(file, head, INT_MAX, INT_MAX, limits.imageBytes, note);
    if (!layout)
        return 0;
    if (layout->decoded)
        return ReadDecodedBmp(file, *layout, info, pixels, note);

    // The pixels first, rows in their display order: bottom-up files in one piece, top-down ones row by
    // row into the mirrored place. A file that ends early leaves the rest as it was.
    size_t got = 0;
    if (!layout->topDown) {
        got = file.ReadAt(layout->pixelOffset, pixels, layout->pixelBytes);
    } else {
        for (int row = 0; row < layout->height; ++row) {
            const size_t target = static_cast<size_t>(layout->height - 1 - row) * layout->rowBytes;
            const size_t read =
                file.ReadAt(layout->pixelOffset + static_cast<uint64_t>(row) * layout->rowBytes,
                            pixels + target, layout->rowBytes);
            got += read;
            if (read < layout->rowBytes)
                break;
        }
    }
    NoteShortRead(note, got, layout->pixelBytes);

    info.bmiHeader = FrameHeader(layout->width, layout->height, layout->bitCount);
    std::copy_n(head.data() + layout->tableOffset, layout->colours * sizeof(RgbQuad),
                reinterpret_cast<uint8_t*>(info.bmiColors));
    return 1;
}

int WriteBmpFile(const std::string& path, const BitmapInfo& info, const uint8_t* pixels, size_t pixelBytes,
                 std::string* note) {
    const BitmapInfoHeader& header = info.bmiHeader;
    const int64_t size = DibPixelBytes(header.biWidth, header.biHeight, header.biBitCount);
    if (size == 0)
        return Refuse(note, "no image to save");
    if (header.biBitCount != 8 && header.biBitCount != 24)
        return Refuse(note, "the image has " + std::to_string(header.biBitCount) + " bits per pixel");
    if (size < 0 || static_cast<uint64_t>(size) > pixelBytes || pixels == nullptr)
        return Refuse(note, "the image does not fit its buffer");
    const uint32_t tableBytes = header.biBitCount <= 8 ? kColourTableBytes : 0;
    const uint32_t offBits = static_cast<uint32_t>(kFileHeaderBytes) + kInfoHeaderBytes + tableBytes;

    std::string content;
    content.reserve(offBits + static_cast<size_t>(size));
    AppendLe16(content, kBmpMagic);
    AppendLe32(content, offBits + static_cast<uint32_t>(size));
    AppendLe16(content, 0);
    AppendLe16(content, 0);
    AppendLe32(content, offBits);
    AppendBytes(content, &info, kInfoHeaderBytes + tableBytes);
    AppendBytes(content, pixels, static_cast<size_t>(size));
    return WriteWholeFile(path, content, note) ? 1 : 0;
}

int fileio::ReadBmpSize(const std::string& path, int maxWidth, int maxHeight, ImageSize& size,
                        std::string* note) {
    const InputFile file(path);
    if (!file.IsOpen())
        return Refuse(note, "cannot open the file, or it is no regular file");
    std::array<uint8_t, kMaxHeadBytes> head{};
    const std::optional<BmpLayout> layout = ReadLayout(file, head, maxWidth, maxHeight, 0, note);
    if (!layout)
        return 0;
    size = ImageSize{layout->width, layout->height, layout->shownBitCount};
    return 1;
}

} // namespace ocu
