// Detection of hot and dead pixels in a covered-lens frame, and their repair in a region.
#include "TestImages.h"

#include <gtest/gtest.h>
#include <random>
#include <set>
#include <utility>

using namespace pixtest;

namespace {

// A covered-lens frame: a dark level, a fixed offset per pixel and temporal noise.
std::vector<uint8_t> DarkFrame(int w, int h, int dark, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> offset(-2, 2);
    std::normal_distribution<double> noise(0, 1.5);
    std::vector<uint8_t> f(static_cast<size_t>(w) * h);
    for (auto& v : f)
        v = static_cast<uint8_t>(
            std::clamp(dark + offset(rng) + static_cast<int>(std::lround(noise(rng))), 0, 255));
    return f;
}

std::set<std::pair<int, int>> Marked(const std::vector<uint8_t>& map, int w, uint8_t mark) {
    std::set<std::pair<int, int>> s;
    for (size_t i = 0; i < map.size(); ++i)
        if (map[i] == mark)
            s.insert({static_cast<int>(i % w), static_cast<int>(i / w)});
    return s;
}

TEST(DetectDeadPixel, CleanFrameMarksNothing) {
    const int w = 320, h = 240;
    for (int dark : {0, 8, 40}) {
        const auto frame = DarkFrame(w, h, dark, dark + 1);
        std::vector<uint8_t> map(frame.size(), 0x00);
        ASSERT_EQ(DetectDeadPixel(frame.data(), map.data(), w, h), 1);
        EXPECT_EQ(Marked(map, w, PIX_PIXEL_GOOD).size(), map.size()) << "dark level " << dark;
    }
}

TEST(DetectDeadPixel, FindsPlantedHotPixelsIncludingEdgesAndNeighbours) {
    const int w = 320, h = 240;
    auto frame = DarkFrame(w, h, 6, 11);
    const std::set<std::pair<int, int>> hot = {{0, 0},    {319, 239}, {5, 0},   {100, 50},
                                               {101, 50}, {200, 201}, {17, 123}};
    int level = 40;
    for (auto [x, y] : hot) {
        frame[y * w + x] = static_cast<uint8_t>(level);
        level = std::min(255, level + 35);
    }
    std::vector<uint8_t> map(frame.size(), PIX_PIXEL_GOOD);
    ASSERT_EQ(DetectDeadPixel(frame.data(), map.data(), w, h), 1);
    EXPECT_EQ(Marked(map, w, PIX_PIXEL_HOT), hot);
    EXPECT_EQ(Marked(map, w, PIX_PIXEL_DEAD).size(), 0u);
}

TEST(DetectDeadPixel, FindsDeadPixelsWhenTheDarkLevelIsAboveZero) {
    const int w = 256, h = 128;
    auto frame = DarkFrame(w, h, 40, 12);
    const std::set<std::pair<int, int>> dead = {{3, 3}, {128, 64}, {255, 1}};
    for (auto [x, y] : dead)
        frame[y * w + x] = 0;
    frame[10 * w + 10] = 255;
    std::vector<uint8_t> map(frame.size(), PIX_PIXEL_GOOD);
    ASSERT_EQ(DetectDeadPixel(frame.data(), map.data(), w, h), 1);
    EXPECT_EQ(Marked(map, w, PIX_PIXEL_DEAD), dead);
    EXPECT_EQ(Marked(map, w, PIX_PIXEL_HOT), (std::set<std::pair<int, int>>{{10, 10}}));
}

TEST(DetectDeadPixel, IgnoresDetailOfALitScene) {
    // A frame taken without covering the lens: a bright colour scene with edges and a small highlight
    // spread over a few pixels, as the lens would spread it.
    const int w = 128, h = 96;
    auto raw = Mosaic(w, h, PIX_BAYER_RGGB, [&](int x, int y) {
        const int v = x < 64 ? 40 : 200;
        return Rgb{v, (v + y) / 2, 255 - v};
    });
    for (int y = 30; y < 33; ++y)
        for (int x = 20; x < 23; ++x)
            raw[y * w + x] = 250;
    std::vector<uint8_t> map(raw.size(), PIX_PIXEL_GOOD);
    ASSERT_EQ(DetectDeadPixel(raw.data(), map.data(), w, h), 1);
    EXPECT_EQ(Marked(map, w, PIX_PIXEL_GOOD).size(), map.size());
}

TEST(EraseDeadPixel, RepairsMarkedPixelsOfARegionFromTheMapAtItsPosition) {
    const int fullW = 64, fullH = 48, left = 10, top = 6, w = 32, h = 20;
    // A region whose samples rise linearly in x: a repair from same-colour neighbours is exact.
    std::vector<uint8_t> region(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            region[y * w + x] = static_cast<uint8_t>(50 + 3 * x + (y & 1) * 20 + (x & 1) * 7);
    region[4 * w + 8] = 0; // a dark detail, not a defect
    const auto clean = region;
    std::vector<uint8_t> map(static_cast<size_t>(fullW) * fullH, PIX_PIXEL_GOOD);
    const std::pair<int, int> inner[] = {{5, 7}, {6, 7}, {12, 2}, {29, 17}}, corners[] = {{0, 0}, {31, 19}};
    for (auto [x, y] : inner) {
        map[(top + y) * fullW + left + x] = PIX_PIXEL_HOT;
        region[y * w + x] = 255;
    }
    for (auto [x, y] : corners) {
        map[(top + y) * fullW + left + x] = PIX_PIXEL_DEAD;
        region[y * w + x] = 0;
    }
    map[4 * fullW + 8] = PIX_PIXEL_HOT; // the map entry of the sensor's (8, 4), not the region's
    ASSERT_EQ(EraseDeadPixel(region.data(), map.data(), left, top, w, h, fullW, fullH), 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool bCorner = (x == 0 && y == 0) || (x == w - 1 && y == h - 1);
            // At a corner no pair of same-colour samples surrounds the pixel: only an average is possible.
            EXPECT_LE(std::abs(region[y * w + x] - clean[y * w + x]), bCorner ? 8 : 0) << x << "," << y;
        }
}

TEST(EraseDeadPixel, MapAsAllocatedChangesNothingAndBadRegionsAreRefused) {
    const int fullW = 40, fullH = 20;
    const std::vector<uint8_t> map(static_cast<size_t>(fullW) * fullH, PIX_PIXEL_GOOD);
    auto raw = RandomBytes(static_cast<size_t>(fullW) * fullH, 4);
    const auto before = raw;
    EXPECT_EQ(EraseDeadPixel(raw.data(), map.data(), 0, 0, fullW, fullH, fullW, fullH), 1);
    EXPECT_EQ(EraseDeadPixel(raw.data(), map.data(), 4, 2, 40, 4, fullW, fullH), 0);
    EXPECT_EQ(EraseDeadPixel(raw.data(), map.data(), 0, 18, 8, 4, fullW, fullH), 0);
    EXPECT_EQ(EraseDeadPixel(raw.data(), map.data(), -2, 0, 8, 4, fullW, fullH), 0);
    EXPECT_EQ(raw, before);
}

TEST(BadPixels, DetectedDefectsOfACameraAreGoneAfterErasing) {
    const int w = 160, h = 120;
    auto dark = DarkFrame(w, h, 48, 21);
    const std::pair<int, int> hot[] = {{10, 10}, {70, 33}, {159, 0}}, dead[] = {{40, 80}, {2, 119}};
    for (auto [x, y] : hot)
        dark[y * w + x] = 230;
    for (auto [x, y] : dead)
        dark[y * w + x] = 0;
    std::vector<uint8_t> map(dark.size(), PIX_PIXEL_GOOD);
    ASSERT_EQ(DetectDeadPixel(dark.data(), map.data(), w, h), 1);
    for (auto [x, y] : hot)
        EXPECT_EQ(map[y * w + x], PIX_PIXEL_HOT) << x << "," << y;
    for (auto [x, y] : dead)
        EXPECT_EQ(map[y * w + x], PIX_PIXEL_DEAD) << x << "," << y;

    // A lit, smooth frame from the same sensor, seen through a region.
    const int left = 0, top = 0;
    auto lit = Mosaic(w, h, PIX_BAYER_GBRG, [](int x, int y) { return Rgb{100 + x / 4, 120 + y / 4, 90}; });
    const auto expected = lit;
    for (auto [x, y] : hot)
        lit[y * w + x] = 230;
    for (auto [x, y] : dead)
        lit[y * w + x] = 0;
    ASSERT_EQ(EraseDeadPixel(lit.data(), map.data(), left, top, w, h, w, h), 1);
    for (size_t i = 0; i < lit.size(); ++i)
        ASSERT_LE(std::abs(lit[i] - expected[i]), 1) << "at " << i % w << "," << i / w;
}

} // namespace
