// The display bitmap's description in the device-independent bitmap layout (also the layout of BMP
// files), and the gray palette kept with it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ocu {

struct BitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight; // positive: rows stored bottom-up
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40, "the header has the file layout");

struct RgbQuad {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
static_assert(sizeof(RgbQuad) == 4);

// A header followed by a full 256-entry colour table.
struct BitmapInfo {
    BitmapInfoHeader bmiHeader;
    RgbQuad bmiColors[256];
};
static_assert(sizeof(BitmapInfo) == 1064);
static_assert(offsetof(BitmapInfo, bmiColors) == 40);

inline constexpr uint32_t kBiRgb = 0;

// The header of an empty image and the gray colour table (entry i is level i).
void InitBitmapInfo(BitmapInfo& info);
// Whether the colour table is that gray ramp, so that an 8-bit image's pixels are its gray levels.
bool HasGrayTable(const BitmapInfo& info);

struct PaletteEntry {
    uint8_t peRed;
    uint8_t peGreen;
    uint8_t peBlue;
    uint8_t peFlags;
};

// The 256-entry gray logical palette kept for 8-bit display. Entry i holds level (i + 10) mod 256, so
// every level occurs once with the ten darkest at the end; a true-colour display paints without it.
struct GrayPalette {
    uint16_t palVersion = 0x300;
    uint16_t palNumEntries = 256;
    std::array<PaletteEntry, 256> entries{};
};

GrayPalette MakeGrayPalette();

} // namespace ocu
