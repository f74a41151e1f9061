#include "display/Bitmap.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace ocu;

TEST(Bitmap, HeaderOfAnEmptyImageWithAGrayColourTable) {
    BitmapInfo info;
    std::memset(&info, 0xAB, sizeof info);
    InitBitmapInfo(info);
    EXPECT_EQ(info.bmiHeader.biSize, 40u);
    EXPECT_EQ(info.bmiHeader.biWidth, 0);
    EXPECT_EQ(info.bmiHeader.biHeight, 0);
    EXPECT_EQ(info.bmiHeader.biPlanes, 1);
    EXPECT_EQ(info.bmiHeader.biBitCount, 0);
    EXPECT_EQ(info.bmiHeader.biCompression, kBiRgb);
    EXPECT_EQ(info.bmiHeader.biSizeImage, 0u);
    EXPECT_EQ(info.bmiHeader.biXPelsPerMeter, 0);
    EXPECT_EQ(info.bmiHeader.biYPelsPerMeter, 0);
    EXPECT_EQ(info.bmiHeader.biClrUsed, 0u);
    EXPECT_EQ(info.bmiHeader.biClrImportant, 0u);
    for (int i = 0; i < 256; ++i) {
        const RgbQuad& c = info.bmiColors[i];
        EXPECT_TRUE(c.rgbBlue == i && c.rgbGreen == i && c.rgbRed == i && c.rgbReserved == 0) << i;
    }
}

TEST(Bitmap, GrayPaletteHasTheDarkestLevelsAtTheEnd) {
    const GrayPalette palette = MakeGrayPalette();
    EXPECT_EQ(palette.palVersion, 0x300);
    EXPECT_EQ(palette.palNumEntries, 256);
    EXPECT_EQ(palette.entries[0].peRed, 10);
    EXPECT_EQ(palette.entries[245].peGreen, 255);
    EXPECT_EQ(palette.entries[246].peBlue, 0);
    EXPECT_EQ(palette.entries[255].peRed, 9);
    int seen[256] = {};
    for (const PaletteEntry& e : palette.entries) {
        EXPECT_TRUE(e.peRed == e.peGreen && e.peGreen == e.peBlue && e.peFlags == 0);
        ++seen[e.peRed];
    }
    for (int count : seen)
        EXPECT_EQ(count, 1);
}
