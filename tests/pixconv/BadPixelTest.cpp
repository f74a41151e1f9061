// Detection of hot and dead pixels, their clusters and bad lines in a covered-lens frame, and their
// repair in a region.
#include "TestImages.h"

#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>

using namespace pixtest;

namespace {

using Pixels = std::set<std::pair<int, int>>;

// A covered-lens frame: a dark level, a fixed offset per pixel and per column (the readout
// amplifiers), and temporal noise.
std::vector<uint8_t> DarkFrame(int w, int h, int dark, unsigned seed, double columnSpread = 0) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> offset(-2, 2);
    std::normal_distribution<double> noise(0, 1.5), column(0, columnSpread);
    std::vector<double> columns(static_cast<size_t>(w));
    for (double& c : columns)
        c = columnSpread > 0 ? column(rng) : 0;
    std::vector<uint8_t> f(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < f.size(); ++i)
        f[i] = static_cast<uint8_t>(std::clamp(
            dark + offset(rng) + static_cast<int>(std::lround(noise(rng) + columns[i % w])), 0, 255));
    return f;
}

Pixels Marked(const std::vector<uint8_t>& map, int w, uint8_t mark) {
    Pixels s;
    for (size_t i = 0; i < map.size(); ++i)
        if (map[i] == mark)
            s.insert({static_cast<int>(i % w), static_cast<int>(i / w)});
    return s;
}

// What one set has that the other has not, for the failure message.
std::string Difference(const Pixels& got, const Pixels& want) {
    std::string s;
    for (const auto& [label, a, b] : {std::tuple{"extra", &got, &want}, {"missing", &want, &got}}) {
        int n = 0;
        for (const auto& p : *a)
            if (!b->count(p) && n++ < 12)
                s += std::string(" ") + label + " (" + std::to_string(p.first) + "," +
                     std::to_string(p.second) + ")";
        if (n >= 12)
            s += " and " + std::to_string(n - 12) + " more";
    }
    return s;
}

std::vector<uint8_t> Detect(const std::vector<uint8_t>& frame, int w, int h) {
    std::vector<uint8_t> map(frame.size(), 0x55); // whatever the map held, detection overwrites it all
    EXPECT_EQ(DetectDeadPixel(frame.data(), map.data(), w, h), 1);
    return map;
}

// The defects of a sensor, planted into any frame of it: a hot pixel adds `level` to the signal, a
// dead one stays at `level`. A later defect at the same place replaces an earlier one.
class Sensor {
public:
    void Hot(int x, int y, int add) { m_defects[{x, y}] = {true, add}; }
    void Dead(int x, int y, int level = 0) { m_defects[{x, y}] = {false, level}; }
    void HotBlock(int x0, int y0, int w, int h, int add) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                Hot(x, y, add);
    }
    void DeadBlock(int x0, int y0, int w, int h) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                Dead(x, y);
    }

    void PlantInto(std::vector<uint8_t>& f, int w) const {
        for (const auto& [at, d] : m_defects) {
            uint8_t& v = f[static_cast<size_t>(at.second) * w + at.first];
            v = static_cast<uint8_t>(d.bHot ? std::min(255, v + d.level) : d.level);
        }
    }
    Pixels Of(bool bHot) const {
        Pixels s;
        for (const auto& [at, d] : m_defects)
            if (d.bHot == bHot)
                s.insert(at);
        return s;
    }

private:
    struct Defect {
        bool bHot;
        int level;
    };
    std::map<std::pair<int, int>, Defect> m_defects;
};

constexpr int kW = 320, kH = 240, kDark = 40; // a dark level high enough to show dead pixels

// Every kind of defect a real sensor has, at the frame's edges and corners too. On the frames below the
// threshold T comes to 24 levels: point defects stand at least twice that far out, the mildly
// bad lines between T / 2 and T.
Sensor DefectiveSensor() {
    Sensor s;
    // Isolated hot pixels, some of them next to a defect of another colour; isolated dead ones.
    for (auto [x, y, add] : {std::tuple{0, 0, 60},
                             {319, 239, 200},
                             {5, 0, 50},
                             {100, 50, 90},
                             {101, 50, 120},
                             {17, 123, 215},
                             {0, 77, 55}})
        s.Hot(x, y, add);
    for (auto [x, y] : {std::pair{3, 3}, {255, 1}, {128, 64}, {319, 100}})
        s.Dead(x, y);
    // 2 x 2 clusters (one pixel of each colour), inside and at the left and right edges.
    s.HotBlock(60, 60, 2, 2, 80);
    s.HotBlock(0, 150, 2, 2, 100);
    s.HotBlock(318, 20, 2, 2, 50);
    s.DeadBlock(200, 150, 2, 2);
    // Runs of three along a row and a column, and a 3 x 3 cluster.
    s.HotBlock(30, 200, 3, 1, 70);
    s.HotBlock(250, 20, 1, 3, 70);
    s.DeadBlock(40, 30, 3, 1);
    s.HotBlock(150, 100, 3, 3, 150);
    // A hot column segment of 41 pixels, and a hot row segment.
    s.HotBlock(77, 100, 1, 41, 60);
    s.HotBlock(160, 180, 121, 1, 60);
    // Lines that are only mildly bad, each pixel within the noise threshold but the whole line not.
    s.HotBlock(290, 0, 1, kH, 18);
    s.HotBlock(0, 210, kW, 1, 18);
    // A column stuck dark.
    s.DeadBlock(140, 0, 1, kH);
    return s;
}

TEST(DetectDeadPixel, CleanFramesGetNoMarks) {
    struct Case {
        int dark;
        double columnSpread;
        int w, h;
    };
    for (const Case c : {Case{0, 0, kW, kH},
                         {8, 1.5, kW, kH},
                         {40, 0, kW, kH},
                         {40, 1.5, 642, 34},
                         {12, 0, 18, 18},
                         {20, 0, 2, 2},
                         {20, 0, 6, 4}}) {
        for (unsigned seed = 1; seed <= 4; ++seed) {
            const auto frame = DarkFrame(c.w, c.h, c.dark, seed, c.columnSpread);
            EXPECT_EQ(Marked(Detect(frame, c.w, c.h), c.w, PIX_PIXEL_GOOD).size(), frame.size())
                << "dark level " << c.dark << ", " << c.w << "x" << c.h << ", seed " << seed;
        }
    }
    // A lit scene's edges, gradients and large areas are no defects either.
    const int w = 128, h = 96;
    const auto lit = Mosaic(w, h, PIX_BAYER_RGGB, [&](int x, int y) {
        const int v = x < 64 ? 40 : 200;
        return Rgb{v, (v + y) / 2, 30 + x + y};
    });
    const auto litMap = Detect(lit, w, h);
    EXPECT_EQ(Difference(Marked(litMap, w, PIX_PIXEL_HOT), {}), "");
    EXPECT_EQ(Difference(Marked(litMap, w, PIX_PIXEL_DEAD), {}), "");
}

TEST(DetectDeadPixel, FindsClustersLinesAndIsolatedDefectsOnANoisyDarkFrame) {
    const Sensor sensor = DefectiveSensor();
    for (unsigned seed = 1; seed <= 5; ++seed) {
        for (double columnSpread : {0.0, 1.5}) {
            auto frame = DarkFrame(kW, kH, kDark, seed, columnSpread);
            sensor.PlantInto(frame, kW);
            const auto map = Detect(frame, kW, kH);
            EXPECT_EQ(Difference(Marked(map, kW, PIX_PIXEL_HOT), sensor.Of(true)), "")
                << "hot, seed " << seed;
            EXPECT_EQ(Difference(Marked(map, kW, PIX_PIXEL_DEAD), sensor.Of(false)), "")
                << "dead, seed " << seed;
        }
    }
}

TEST(DetectDeadPixel, RefusesMissingBuffersAndImpossibleSizes) {
    std::vector<uint8_t> frame(16, 10), map(16, 0x55);
    EXPECT_EQ(DetectDeadPixel(nullptr, map.data(), 4, 4), 0);
    EXPECT_EQ(DetectDeadPixel(frame.data(), nullptr, 4, 4), 0);
    for (auto [w, h] : {std::pair{1, 4}, {4, 1}, {0, 0}, {-4, 4}})
        EXPECT_EQ(DetectDeadPixel(frame.data(), map.data(), w, h), 0);
    EXPECT_EQ(map, std::vector<uint8_t>(16, 0x55));
}

TEST(EraseDeadPixel, RepairsMarkedPixelsOfARegionFromTheMapAtItsPosition) {
    const int fullW = 64, fullH = 48, left = 10, top = 6, w = 32, h = 20;
    // A region whose samples rise linearly in x: a repair from same-colour samples on both sides is exact,
    // also where the nearest good ones lie further away.
    std::vector<uint8_t> region(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            region[y * w + x] = static_cast<uint8_t>(50 + 3 * x + (y & 1) * 20 + (x & 1) * 7);
    region[4 * w + 8] = 0; // a dark detail, not a defect
    const auto clean = region;
    std::vector<uint8_t> map(static_cast<size_t>(fullW) * fullH, PIX_PIXEL_GOOD);
    auto mark = [&](int x, int y, uint8_t m) {
        map[(top + y) * fullW + left + x] = m;
        region[y * w + x] = m == PIX_PIXEL_HOT ? 255 : 0;
    };
    for (auto [x, y] : {std::pair{5, 7}, {6, 7}, {12, 2}, {29, 17}})
        mark(x, y, PIX_PIXEL_HOT);
    for (int k = 0; k < 4; ++k) // a 2 x 2 cluster and a 4 x 1 run
        mark(20 + k % 2, 10 + k / 2, PIX_PIXEL_HOT), mark(3 + k, 14, PIX_PIXEL_DEAD);
    for (int k = 0; k < 5; ++k) // a same-colour pair of columns, through several rows
        mark(15, 2 + k, PIX_PIXEL_HOT), mark(17, 2 + k, PIX_PIXEL_HOT);
    for (int y = 0; y < h; ++y) // a whole column
        mark(25, y, PIX_PIXEL_DEAD);
    mark(0, 0, PIX_PIXEL_DEAD);
    mark(31, 19, PIX_PIXEL_DEAD);
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

// The whole correction: the map from a covered-lens frame, then a lit, noisy frame of the same sensor
// seen through a region; after erasing, no defect shows against the clean truth beyond the noise.
TEST(BadPixels, DetectedDefectsOfASensorAreGoneAfterErasing) {
    const Sensor sensor = DefectiveSensor();
    auto dark = DarkFrame(kW, kH, kDark, 21, 1.5);
    sensor.PlantInto(dark, kW);
    const auto map = Detect(dark, kW, kH);

    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0, 1.5);
    auto truth = Mosaic(kW, kH, PIX_BAYER_GBRG, [](int x, int y) {
        return Rgb{100 + x / 4, 120 + y / 4, static_cast<int>(90 + 30 * std::sin(x / 25.0))};
    });
    for (auto& v : truth)
        v = static_cast<uint8_t>(std::clamp<long>(v + std::lround(noise(rng)), 0, 255));
    const int left = 6, top = 4, w = 300, h = 230;
    auto lit = truth;
    sensor.PlantInto(lit, kW);
    std::vector<uint8_t> region(static_cast<size_t>(w) * h), expected(region.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            region[y * w + x] = lit[(top + y) * kW + left + x];
            expected[y * w + x] = truth[(top + y) * kW + left + x];
        }
    ASSERT_EQ(EraseDeadPixel(region.data(), map.data(), left, top, w, h, kW, kH), 1);
    double sumError = 0;
    int repaired = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int error = std::abs(region[y * w + x] - expected[y * w + x]);
            if (map[(top + y) * kW + left + x] == PIX_PIXEL_GOOD) {
                ASSERT_EQ(error, 0) << x << "," << y;
                continue;
            }
            ASSERT_LE(error, 9) << x << "," << y; // the noise of the truth and of its neighbours
            sumError += error;
            ++repaired;
        }
    int planted = 0;
    for (bool bHot : {true, false})
        for (auto [x, y] : sensor.Of(bHot))
            planted += x >= left && y >= top && x < left + w && y < top + h;
    EXPECT_GE(repaired, planted);
    EXPECT_LT(sumError / repaired, 2.5);
}

} // namespace
