// Frame-rate arithmetic and the every-second-frame rule of the slower conversions.
#include "camera/FrameRate.h"
#include "imaging/FramePipeline.h"

#include <gtest/gtest.h>
#include <vector>

using namespace ocu;

TEST(FrameRate, CountTimesThousandOverElapsedMillisecondsPlusOne) {
    EXPECT_EQ(FrameRate(1, 5000, 5000), 1000.0f); // the same millisecond as the start
    EXPECT_EQ(FrameRate(1, 5000, 5009), 100.0f);
    EXPECT_EQ(FrameRate(30, 5000, 6999), 15.0f);
    // Across the wrap of the 32-bit millisecond clock.
    EXPECT_EQ(FrameRate(1, 0xFFFFFFF0u, 3u), 1000.0f / 20.0f);
    // A long run does not overflow into a negative rate.
    EXPECT_GT(FrameRate(3'000'000, 0, 9'999'999), 299.0f);
}

TEST(FrameToggle, SlowTypesConvertEverySecondFrameAndFastKeepsTheAlternation) {
    int toggle = 1;
    std::vector<bool> converted;
    for (const int type : {kConversionNormal, kConversionBest, kConversionEdgeSensing, kConversionNormal,
                           kConversionFast, kConversionFast, kConversionFast, kConversionBest})
        converted.push_back(ConvertsThisFrame(type, toggle));
    // Slow frames 1, 3 (converted), 2, 4 (dropped); Fast converts all three; the 5th slow frame converts.
    EXPECT_EQ(converted, (std::vector<bool>{true, false, true, false, true, true, true, true}));
    EXPECT_EQ(toggle, 2);
    EXPECT_FALSE(ConvertsThisFrame(kConversionNormal, toggle));
    EXPECT_EQ(toggle, 1);
}
