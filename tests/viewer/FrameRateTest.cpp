// The frame rate in the title while frames arrive.
#include "camera/FrameRate.h"

#include <gtest/gtest.h>

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
