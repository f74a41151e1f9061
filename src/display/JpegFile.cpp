// JPEG files through the image utility library.
#include "OcuUtil.h"
#include "display/ImageFileIo.h"
#include "display/ImageFiles.h"

#include <memory>
#include <string_view>
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

// Encoded in memory, then written as every file is: the old file stays until the new one is whole.
int Save(const std::string& path, const uint8_t* pixels, int32_t width, int32_t height, int32_t bitCount,
         std::string* note) {
    uint8_t* jpeg = nullptr;
    size_t size = 0;
    if (OcuEncodeJPEG(pixels, width, height, bitCount, OCU_JPEG_BOTTOM_UP, 100, &jpeg, &size) != 1) {
        if (OcuUtilLastError() == OCU_UTIL_ERR_JPEG_LIMIT)
            return Refuse(note, "the image of " + std::to_string(width) + " x " + std::to_string(height) +
                                    " pixels is larger than a JPEG image can be (at most " +
                                    std::to_string(OCU_JPEG_MAX_SIDE) + " x " +
                                    std::to_string(OCU_JPEG_MAX_SIDE) + ")");
        return Refuse(note, LibraryReason());
    }
    const std::unique_ptr<uint8_t, void (*)(uint8_t*)> owned(jpeg, OcuFreeJPEG);
    return WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(jpeg), size), note) ? 1 : 0;
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
    if (note != nullptr && OcuUtilLastWarning() != OCU_UTIL_OK)
        *note = OcuUtilErrorString(OcuUtilLastWarning());
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
    if (h.biBitCount == 8 && !HasGrayTable(info))
        return Save(path, ThroughColourTable(info, pixels).data(), h.biWidth, h.biHeight, 24, note);
    return Save(path, pixels, h.biWidth, h.biHeight, h.biBitCount, note);
}

} // namespace ocu
