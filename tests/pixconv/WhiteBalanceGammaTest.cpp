// White-balance ratios and gamma tables.
#include "TestImages.h"

#include <gtest/gtest.h>
#include <limits>
#include <random>

using namespace pixtest;

namespace {

// A bottom-up BGR image from a function of (x, y).
template <typename Fn>
std::vector<uint8_t> Image(int w, int h, Fn colourAt) {
    std::vector<uint8_t> img(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = colourAt(x, y);
            uint8_t* p = img.data() + (static_cast<size_t>(y) * w + x) * 3;
            p[0] = static_cast<uint8_t>(c.b);
            p[1] = static_cast<uint8_t>(c.g);
            p[2] = static_cast<uint8_t>(c.r);
        }
    return img;
}

Rgb Tinted(int level) {
    return {std::min(255, static_cast<int>(level * 1.3)), level, static_cast<int>(level * 0.7)};
}

TEST(WhiteBalance, TintedGraySceneComesBackToGray) {
    const int w = 64, h = 48;
    const auto img = Image(w, h, [](int x, int y) { return Tinted(30 + (x * 3 + y * 2) % 160); });
    double r = 0, g = 0, b = 0;
    ASSERT_EQ(GetWhiteBalanceRatio(img.data(), w, h, &r, &g, &b), 1);
    EXPECT_EQ(g, 1.0);
    EXPECT_NEAR(r * 1.3, 1.0, 0.01);
    EXPECT_NEAR(b * 0.7, 1.0, 0.01);
}

TEST(WhiteBalance, SaturatedDarkAndColourfulPixelsDoNotPullTheRatios) {
    const int w = 100, h = 100;
    const auto img = Image(w, h, [](int x, int y) {
        if (y < 10)
            return Rgb{255, 255, 180}; // clipped highlights of the wrong colour
        if (y < 20)
            return Rgb{3, 20, 0}; // near black
        if (x < 25)
            return Rgb{200, 40, 20}; // a large red object
        return Tinted(40 + (x + y) % 120);
    });
    double r = 0, g = 0, b = 0;
    ASSERT_EQ(GetWhiteBalanceRatio(img.data(), w, h, &r, &g, &b), 1);
    EXPECT_NEAR(r * 1.3, 1.0, 0.03);
    EXPECT_NEAR(b * 0.7, 1.0, 0.03);
}

TEST(WhiteBalance, ImageWithNothingUsableGivesUnitRatios) {
    const int w = 16, h = 8;
    for (Rgb c : {Rgb{0, 0, 0}, Rgb{255, 255, 255}, Rgb{5, 10, 8}}) {
        const auto img = Image(w, h, [&](int, int) { return c; });
        double r = 0, g = 0, b = 0;
        ASSERT_EQ(GetWhiteBalanceRatio(img.data(), w, h, &r, &g, &b), 1);
        EXPECT_EQ(r, 1.0);
        EXPECT_EQ(g, 1.0);
        EXPECT_EQ(b, 1.0);
    }
}

TEST(WhiteBalance, RatiosArePositiveForAnyImage) {
    const int w = 40, h = 30;
    const auto img = RandomBytes(static_cast<size_t>(w) * h * 3, 17);
    double r = 0, g = 0, b = 0;
    ASSERT_EQ(GetWhiteBalanceRatio(img.data(), w, h, &r, &g, &b), 1);
    EXPECT_GT(r, 0);
    EXPECT_EQ(g, 1.0);
    EXPECT_GT(b, 0);
    EXPECT_EQ(GetWhiteBalanceRatio(nullptr, w, h, &r, &g, &b), 0);
}

TEST(Gamma, TablesKeepTheEndsAndBendTheMiddle) {
    std::array<uint8_t, 256> lut;
    ASSERT_EQ(SetGammaLut(lut.data(), 1.0), 1);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(lut[i], i);
    for (double gamma : {0.3, 3.0}) {
        ASSERT_EQ(SetGammaLut(lut.data(), gamma), 1);
        EXPECT_EQ(lut[0], 0);
        EXPECT_EQ(lut[255], 255);
        for (int i = 1; i < 256; ++i)
            ASSERT_GE(lut[i], lut[i - 1]) << gamma << " at " << i;
    }
    SetGammaLut(lut.data(), 3.0);
    EXPECT_EQ(lut[128], 203); // 255 * (128/255)^(1/3)
    SetGammaLut(lut.data(), 0.3);
    EXPECT_EQ(lut[128], 26); // 255 * (128/255)^(10/3)
}

TEST(Gamma, RefusesCoefficientsThatMakeNoCurve) {
    std::array<uint8_t, 256> lut;
    lut.fill(7);
    EXPECT_EQ(SetGammaLut(lut.data(), 0.0), 0);
    EXPECT_EQ(SetGammaLut(lut.data(), -1.0), 0);
    EXPECT_EQ(SetGammaLut(lut.data(), std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(SetGammaLut(nullptr, 1.0), 0);
    for (uint8_t v : lut)
        ASSERT_EQ(v, 7);
}

} // namespace
