// What every conversion type guarantees, checked for every layout.
#include "TestImages.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <tuple>

using namespace pixtest;

namespace {

class ConvertTest : public ::testing::TestWithParam<std::tuple<int, int>> {
protected:
    int Type() const { return std::get<0>(GetParam()); }
    int Layout() const { return std::get<1>(GetParam()); }
};

// Sizes from the smallest even image up to images that span several tiles and the vector path's edge
// chunks, with widths that are multiples of 4 and widths that are not.
constexpr int kSizes[][2] = {{2, 2},     {4, 2},    {6, 4},     {8, 4},   {10, 2}, {12, 6},
                             {18, 6},    {32, 8},   {34, 10},   {36, 10}, {66, 2}, {68, 34},
                             {200, 130}, {202, 18}, {400, 210}, {642, 4}};

TEST_P(ConvertTest, FlatColourComesOutExactlyIncludingBorders) {
    const Rgb colours[] = {{200, 100, 50}, {0, 255, 0}, {255, 0, 255}, {17, 17, 17}};
    for (const auto& size : kSizes) {
        const int w = size[0], h = size[1];
        for (const Rgb& c : colours) {
            const auto raw = Mosaic(w, h, Layout(), [&](int, int) { return c; });
            const auto out = Convert(raw, w, h, Type(), Layout());
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(PixelAt(out, w, h, x, y), c) << w << "x" << h << " at " << x << "," << y;
        }
    }
}

TEST_P(ConvertTest, FirstRawRowIsLastOutputRowInBlueGreenRedOrder) {
    // Top half one colour, bottom half another: the rows far from the seam are flat.
    const int w = 64, h = 96;
    const Rgb top{220, 120, 30}, bottom{20, 90, 240};
    const auto raw = Mosaic(w, h, Layout(), [&](int, int y) { return y < h / 2 ? top : bottom; });
    const auto out = Convert(raw, w, h, Type(), Layout());
    for (int x = 0; x < w; ++x) {
        const uint8_t* last = out.data() + (static_cast<size_t>(h - 1) * w + x) * 3; // last output row
        const uint8_t* first = out.data() + static_cast<size_t>(x) * 3;              // first output row
        EXPECT_EQ(last[0], top.b);
        EXPECT_EQ(last[1], top.g);
        EXPECT_EQ(last[2], top.r);
        EXPECT_EQ(first[0], bottom.b);
        EXPECT_EQ(first[1], bottom.g);
        EXPECT_EQ(first[2], bottom.r);
    }
}

TEST_P(ConvertTest, EachChannelPassesThroughItsOwnTable) {
    Lut lut;
    for (int i = 0; i < 256; ++i) {
        lut.r[i] = static_cast<uint8_t>(255 - i);
        lut.g[i] = static_cast<uint8_t>(i / 2);
        lut.b[i] = static_cast<uint8_t>(std::min(255, i + 7));
    }
    const int w = 40, h = 12;
    const Rgb c{200, 100, 50};
    const auto raw = Mosaic(w, h, Layout(), [&](int, int) { return c; });
    const auto out = Convert(raw, w, h, Type(), Layout(), lut);
    const Rgb expected{lut.r[c.r], lut.g[c.g], lut.b[c.b]};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(PixelAt(out, w, h, x, y), expected) << x << "," << y;
}

TEST_P(ConvertTest, WritesNothingOutsideTheImage) {
    constexpr size_t kGuard = 64;
    const Lut lut = Identity();
    for (int w = 2; w <= 134; w += 2) {
        for (int h : {2, 4, 6, 18}) {
            const auto raw = RandomBytes(static_cast<size_t>(w) * h, w * 100 + h);
            const size_t n = static_cast<size_t>(w) * h * 3;
            std::vector<uint8_t> buffer(n + 2 * kGuard, 0xA5);
            ASSERT_EQ(ConvertBayer2Rgb(buffer.data() + kGuard, raw.data(), w, h, Type(), lut.r.data(),
                                       lut.g.data(), lut.b.data(), 1, Layout()),
                      1);
            for (size_t i = 0; i < kGuard; ++i) {
                ASSERT_EQ(buffer[i], 0xA5) << w << "x" << h;
                ASSERT_EQ(buffer[kGuard + n + i], 0xA5) << w << "x" << h;
            }
        }
    }
}

// A smooth colour scene: every type should follow it closely. At the borders the mirrored neighbours
// make a slope look like a ridge, which costs a few levels more.
TEST_P(ConvertTest, SmoothSceneIsReproducedClosely) {
    const int w = 96, h = 64;
    auto scene = [&](int x, int y) {
        return Rgb{static_cast<int>(60 + 120.0 * x / w), static_cast<int>(200 - 100.0 * y / h),
                   static_cast<int>(100 + 50 * std::sin((x + y) / 20.0))};
    };
    const auto out = Convert(Mosaic(w, h, Layout(), scene), w, h, Type(), Layout());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool bBorder = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
            const int tolerance = bBorder ? 10 : 3;
            const Rgb got = PixelAt(out, w, h, x, y), want = scene(x, y);
            ASSERT_LE(std::abs(got.r - want.r), tolerance) << x << "," << y;
            ASSERT_LE(std::abs(got.g - want.g), tolerance) << x << "," << y;
            ASSERT_LE(std::abs(got.b - want.b), tolerance) << x << "," << y;
        }
}

std::string Name(const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
    static const char* kTypeNames[] = {"", "Fast", "", "Normal", "EdgeSensing", "", "Best"};
    static const char* kLayoutNames[] = {"", "GBRG", "GRBG", "BGGR", "RGGB"};
    return std::string(kTypeNames[std::get<0>(info.param)]) + kLayoutNames[std::get<1>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(AllTypesAndLayouts, ConvertTest,
                         ::testing::Combine(::testing::ValuesIn(kTypes), ::testing::ValuesIn(kLayouts)),
                         Name);

TEST(ConvertBayer2Rgb, RefusesOddAndEmptySizesAndWritesNothing) {
    const Lut lut = Identity();
    const auto raw = RandomBytes(64 * 64, 1);
    std::vector<uint8_t> out(64 * 64 * 3, 0x5A);
    for (int nType : kTypes)
        for (auto [w, h] :
             {std::pair{7, 4}, {8, 3}, {1, 2}, {2, 1}, {1, 1}, {33, 33}, {0, 4}, {8, 0}, {-4, 2}, {4, -2}})
            EXPECT_EQ(ConvertBayer2Rgb(out.data(), raw.data(), w, h, nType, lut.r.data(), lut.g.data(),
                                       lut.b.data(), 1, 1),
                      0)
                << w << "x" << h;
    EXPECT_EQ(ConvertBayer2Rgb(nullptr, raw.data(), 8, 4, 1, lut.r.data(), lut.g.data(), lut.b.data(), 1, 1),
              0);
    EXPECT_EQ(ConvertBayer2Rgb(out.data(), nullptr, 8, 4, 1, lut.r.data(), lut.g.data(), lut.b.data(), 1, 1),
              0);
    EXPECT_EQ(ConvertBayer2Rgb(out.data(), raw.data(), 8, 4, 1, nullptr, lut.g.data(), lut.b.data(), 1, 1),
              0);
    for (uint8_t b : out)
        ASSERT_EQ(b, 0x5A);
}

TEST(ConvertBayer2Rgb, UnknownTypeIsFastAndUnknownLayoutIsGbrg) {
    const int w = 48, h = 10;
    const auto raw = RandomBytes(static_cast<size_t>(w) * h, 7);
    const auto fastGbrg = Convert(raw, w, h, PIX_CONVERT_FAST, PIX_BAYER_GBRG);
    EXPECT_EQ(Convert(raw, w, h, 0, PIX_BAYER_GBRG), fastGbrg);
    EXPECT_EQ(Convert(raw, w, h, 2, PIX_BAYER_GBRG), fastGbrg);
    EXPECT_EQ(Convert(raw, w, h, 99, PIX_BAYER_GBRG), fastGbrg);
    EXPECT_EQ(Convert(raw, w, h, PIX_CONVERT_FAST, 0), fastGbrg);
    EXPECT_EQ(Convert(raw, w, h, PIX_CONVERT_FAST, 5), fastGbrg);
    EXPECT_EQ(Convert(raw, w, h, -1, -1), fastGbrg);
    EXPECT_NE(Convert(raw, w, h, PIX_CONVERT_FAST, PIX_BAYER_RGGB), fastGbrg);
}

TEST(ConvertBayer2Rgb, FlagValueDoesNotMatter) {
    const Lut lut = Identity();
    const int w = 40, h = 8;
    const auto raw = RandomBytes(static_cast<size_t>(w) * h, 3);
    std::vector<uint8_t> a(static_cast<size_t>(w) * h * 3), b(a.size());
    ConvertBayer2Rgb(a.data(), raw.data(), w, h, 3, lut.r.data(), lut.g.data(), lut.b.data(), 1, 2);
    ConvertBayer2Rgb(b.data(), raw.data(), w, h, 3, lut.r.data(), lut.g.data(), lut.b.data(), 0, 2);
    EXPECT_EQ(a, b);
}

} // namespace
