// JPEG files through the image utility library.
#include "OcuUtil.h"
#include "display/ImageFileIo.h"
#include "display/ImageFiles.h"

#include <vector>

namespace ocu {
namespace {

using namespace fileio;

// The 8-bit image in the colours of its table, as 24-bit rows of the same layout.
std::vector<uint8_t> ThroughColourTable(const BitmapInfo& info, const uint8_t* pixels) {
    const int width = info.bmiHeader.biWidth;
    const int height = info.bmiHeader.biHeight;
    const size_t inRow = OcuDibBytes(width, 1, 8);
    const size_t outRow = OcuDibBytes(width, 1, 24);
    std::vector<uint8_t> out(outRow * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = pixels + static_cast<size_t>(y) * inRow;
        uint8_t* o = out.data() + static_cast<size_t>(y) * outRow;
        for (int x = 0; x < width; ++x, o += 3) {
            const RgbQuad& c = info.bmiColors[in[x]];
            o[0] = c.rgbBlue;
            o[1] = c.rgbGreen;
            o[2] = c.rgbRed;
        }
    }
    return out;
}

std::string LibraryReason() {
    return OcuUtilErrorString(OcuUtilLastError());
}

} // namespace

int ReadJpegFile(const std::string& path, BitmapInfo& info, uint8_t* pixels, const ImageLimits& limits,
                 std::string* note) {
    if (pixels == nullptr || limits.imageBytes == 0)
        return Refuse(note, "no display buffer");
    BitmapInfoHeader& h = info.bmiHeader;
    if (OcuLoadJPEG(path.c_str(), pixels, limits.imageBytes, &h.biWidth, &h.biHeight, &h.biBitCount,
                    OCU_JPEG_BOTTOM_UP) != 1)
        return Refuse(note, LibraryReason());
    return 1;
}

int WriteJpegFile(const std::string& path, const BitmapInfo& info, const uint8_t* pixels, size_t pixelBytes,
                  std::string* note) {
    const BitmapInfoHeader& h = info.bmiHeader;
    const size_t size = OcuDibBytes(h.biWidth, h.biHeight, h.biBitCount);
    if (h.biWidth == 0 || h.biHeight == 0)
        return Refuse(note, "no image to save");
    if (size == 0 || size > pixelBytes || pixels == nullptr)
        return Refuse(note, "the image does not fit its buffer");
    if (h.biBitCount == 8 && !HasGrayTable(info)) {
        const std::vector<uint8_t> colour = ThroughColourTable(info, pixels);
        if (OcuSaveJPEG(path.c_str(), colour.data(), h.biWidth, h.biHeight, 24, OCU_JPEG_BOTTOM_UP, 100) != 1)
            return Refuse(note, LibraryReason());
        return 1;
    }
    if (OcuSaveJPEG(path.c_str(), pixels, h.biWidth, h.biHeight, h.biBitCount, OCU_JPEG_BOTTOM_UP, 100) != 1)
        return Refuse(note, LibraryReason());
    return 1;
}

} // namespace ocu
