// The pattern-noise template: summing frames, averaging them into offsets, and correcting regions.
#include "TestImages.h"

#include <gtest/gtest.h>
#include <random>

using namespace pixtest;

namespace {

constexpr int kFullW = 96, kFullH = 64;

// A uniformly lit sensor: one level per Bayer channel, plus a fixed offset per pixel.
int Base(int x, int y) {
    return 100 + 20 * (x & 1) + 10 * (y & 1);
}

struct Sensor {
    std::vector<int> pattern = std::vector<int>(kFullW * kFullH);
    explicit Sensor(unsigned seed) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> offset(-12, 12);
        for (int& p : pattern)
            p = offset(rng);
    }
    // One frame, with temporal noise of at most one level that averages out over the frames.
    std::vector<uint8_t> Frame(int n) const {
        std::vector<uint8_t> f(pattern.size());
        for (int y = 0; y < kFullH; ++y)
            for (int x = 0; x < kFullW; ++x) {
                const int noise = ((x + y + n) % 3) - 1;
                f[y * kFullW + x] = static_cast<uint8_t>(Base(x, y) + pattern[y * kFullW + x] + noise);
            }
        return f;
    }
};

std::vector<int32_t> Capture(const Sensor& sensor) {
    std::vector<int32_t> tmpl(kFullW * kFullH, 0);
    for (int n = 0; n < 10; ++n) {
        const auto f = sensor.Frame(n * 7);
        EXPECT_EQ(GetPatternNoise(f.data(), tmpl.data(), kFullW, kFullH), 1);
    }
    return tmpl;
}

TEST(PatternNoise, PlantedPatternIsRemovedWithinOneLevelInARegion) {
    const Sensor sensor(3);
    auto tmpl = Capture(sensor);
    ASSERT_EQ(AvgPatternNoise(tmpl.data(), kFullW, kFullH, 10), 1);

    // The channel means of the pattern stay in the picture; only the deviations go.
    double mean[4] = {};
    for (int y = 0; y < kFullH; ++y)
        for (int x = 0; x < kFullW; ++x)
            mean[(y & 1) * 2 + (x & 1)] += sensor.pattern[y * kFullW + x] / (kFullW * kFullH / 4.0);

    const int left = 13, top = 7, w = 40, h = 30; // odd origin: the region starts on another phase
    const auto frame = sensor.Frame(1);
    std::vector<uint8_t> region(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            region[y * w + x] = frame[(top + y) * kFullW + left + x];
    ASSERT_EQ(FixPatternNoise(region.data(), tmpl.data(), left, top, w, h, kFullW, kFullH), 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int fx = left + x, fy = top + y;
            const int noise = ((fx + fy + 1) % 3) - 1;
            const double expected = Base(fx, fy) + mean[(fy & 1) * 2 + (fx & 1)] + noise;
            ASSERT_NEAR(region[y * w + x], expected, 1.0) << x << "," << y;
        }
}

TEST(PatternNoise, CorrectionClampsToTheByteRange) {
    std::vector<int32_t> tmpl(kFullW * kFullH, 0);
    std::vector<uint8_t> frame(kFullW * kFullH, 128);
    frame[0] = 0;
    frame[1] = 255;
    for (int n = 0; n < 10; ++n)
        GetPatternNoise(frame.data(), tmpl.data(), kFullW, kFullH);
    ASSERT_EQ(AvgPatternNoise(tmpl.data(), kFullW, kFullH, 10), 1);
    std::vector<uint8_t> image(kFullW * kFullH, 128);
    image[0] = 250; // offset of about -128 pushes it above 255
    image[1] = 5;   // offset of about +127 pushes it below 0
    ASSERT_EQ(FixPatternNoise(image.data(), tmpl.data(), 0, 0, kFullW, kFullH, kFullW, kFullH), 1);
    EXPECT_EQ(image[0], 255);
    EXPECT_EQ(image[1], 0);
}

TEST(PatternNoise, SaturatedSamplesStaySaturated) {
    const Sensor sensor(8);
    auto tmpl = Capture(sensor);
    ASSERT_EQ(AvgPatternNoise(tmpl.data(), kFullW, kFullH, 10), 1);
    std::vector<uint8_t> highlight(kFullW * kFullH, 255);
    ASSERT_EQ(FixPatternNoise(highlight.data(), tmpl.data(), 0, 0, kFullW, kFullH, kFullW, kFullH), 1);
    for (uint8_t v : highlight)
        ASSERT_EQ(v, 255);
}

TEST(PatternNoise, ClearedOrUnfinishedTemplateCorrectsNothing) {
    const auto frame = Sensor(5).Frame(0);
    std::vector<int32_t> tmpl(kFullW * kFullH, 0);
    auto image = frame;
    EXPECT_EQ(FixPatternNoise(image.data(), tmpl.data(), 0, 0, kFullW, kFullH, kFullW, kFullH), 1);
    EXPECT_EQ(image, frame);
    for (int n = 0; n < 4; ++n)
        GetPatternNoise(frame.data(), tmpl.data(), kFullW, kFullH);
    EXPECT_EQ(FixPatternNoise(image.data(), tmpl.data(), 0, 0, kFullW, kFullH, kFullW, kFullH), 1);
    EXPECT_EQ(image, frame);
}

TEST(PatternNoise, AveragingTwiceOrWithBadArgumentsIsRefused) {
    auto tmpl = Capture(Sensor(9));
    EXPECT_EQ(AvgPatternNoise(tmpl.data(), kFullW, kFullH, 0), 0);
    EXPECT_EQ(AvgPatternNoise(tmpl.data(), kFullW, kFullH, -10), 0);
    ASSERT_EQ(AvgPatternNoise(tmpl.data(), kFullW, kFullH, 10), 1);
    const auto averaged = tmpl;
    EXPECT_EQ(AvgPatternNoise(tmpl.data(), kFullW, kFullH, 10), 0);
    EXPECT_EQ(tmpl, averaged);
    std::vector<uint8_t> image(16);
    EXPECT_EQ(FixPatternNoise(image.data(), tmpl.data(), kFullW - 4, 0, 8, 2, kFullW, kFullH), 0);
    EXPECT_EQ(FixPatternNoise(image.data(), tmpl.data(), 0, kFullH - 1, 8, 2, kFullW, kFullH), 0);
    EXPECT_EQ(GetPatternNoise(nullptr, tmpl.data(), kFullW, kFullH), 0);
}

} // namespace
