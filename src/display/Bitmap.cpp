#include "display/Bitmap.h"

namespace ocu {

void InitBitmapInfo(BitmapInfo& info) {
    BitmapInfoHeader& h = info.bmiHeader;
    h.biSize = sizeof(BitmapInfoHeader);
    h.biWidth = 0;
    h.biHeight = 0;
    h.biPlanes = 1;
    h.biBitCount = 0;
    h.biCompression = kBiRgb;
    h.biSizeImage = 0;
    h.biXPelsPerMeter = 0;
    h.biYPelsPerMeter = 0;
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<uint8_t>(i);
        info.bmiColors[i] = RgbQuad{level, level, level, 0};
    }
}

bool HasGrayTable(const BitmapInfo& info) {
    for (int i = 0; i < 256; ++i) {
        const RgbQuad& c = info.bmiColors[i];
        if (c.rgbRed != i || c.rgbGreen != i || c.rgbBlue != i)
            return false;
    }
    return true;
}

GrayPalette MakeGrayPalette() {
    GrayPalette palette;
    for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<uint8_t>((i + 10) % 256);
        palette.entries[static_cast<size_t>(i)] = PaletteEntry{level, level, level, 0};
    }
    return palette;
}

} // namespace ocu
