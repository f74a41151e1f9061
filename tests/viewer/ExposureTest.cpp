#include "camera/Exposure.h"

#include <climits>
#include <gtest/gtest.h>

using namespace ocu;

namespace {

int Exposure(int type, int speed, int width, int hBlanking, int upper, int lower) {
    return ExposureValue(ExposureInput{type, speed, width, hBlanking, upper, lower});
}

} // namespace

TEST(Exposure, EachDeviceTypeAt60Milliseconds) {
    // 60 ms at 24 MHz is 1,440,000 clocks; lines of 1280 + 244 or 1280 + 36 + 305 clocks.
    EXPECT_EQ(Exposure(0, 1, 1280, 0, 60, 1000), 945); // 1440180 / 1524
    EXPECT_EQ(Exposure(2, 1, 1280, 0, 60, 1000), 945);
    EXPECT_EQ(Exposure(1, 1, 1280, 0, 60, 1000), 889); // 1440180 / 1621 + 1
    EXPECT_EQ(Exposure(3, 1, 1280, 0, 60, 1000), 889);
    EXPECT_EQ(Exposure(7, 1, 1280, 0, 60, 1000), 889); // a later model takes the second formula
}

TEST(Exposure, SpeedHalvesTheClockOnlyOnTypesThatHaveIt) {
    EXPECT_EQ(Exposure(2, 0, 1280, 0, 60, 1000), 472); // 720180 / 1524
    EXPECT_EQ(Exposure(3, 0, 1280, 0, 60, 1000), 445); // 720180 / 1621 + 1
    EXPECT_EQ(Exposure(0, 0, 1280, 0, 60, 1000), 945);
    EXPECT_EQ(Exposure(1, 0, 1280, 0, 60, 1000), 889);
}

TEST(Exposure, RegionWidthShortensTheLine) {
    EXPECT_EQ(Exposure(2, 1, 644, 0, 60, 1000), 1621); // 1440180 / 888
}

TEST(Exposure, ZeroNumeratorUsesTheShortestTime) {
    EXPECT_EQ(Exposure(0, 1, 1280, 0, 0, 1000), 0);
    EXPECT_EQ(Exposure(2, 1, 0, 0, 0, 1000), 0);
    EXPECT_EQ(Exposure(1, 1, 1280, 0, 0, 1000), 1);
    EXPECT_EQ(Exposure(3, 0, 0, 0, 0, 1000), 1);
    EXPECT_EQ(Exposure(2, 1, 1280, 0, -5, 1000), 0); // negative times count as the shortest too
}

TEST(Exposure, ZeroDenominator) {
    EXPECT_EQ(Exposure(2, 1, 1280, 0, 60, 0), kMaxExposureValue); // an endless exposure
    EXPECT_EQ(Exposure(2, 1, 1280, 0, 0, 0), 0);                  // not a number: the shortest time
    EXPECT_EQ(Exposure(1, 1, 1280, 0, 0, 0), 1);
    EXPECT_EQ(Exposure(2, 1, 1280, 0, -60, 0), 0);
}

TEST(Exposure, VeryLongExposureIsCapped) {
    EXPECT_EQ(Exposure(2, 1, 1280, 0, 3600, 1), kMaxExposureValue);
    EXPECT_EQ(Exposure(1, 0, 4, 0, INT_MAX, 1), kMaxExposureValue);
    // Just below the cap stays as computed: 16382 * 1524 clocks is 1.0402 s.
    EXPECT_EQ(Exposure(2, 1, 1280, 0, 10402, 10000), 16381);
}

TEST(Exposure, NegativeHorizontalBlanking) {
    // Type 1 adds hBlanking + 36, so -40 counts as nothing; type 0 subtracts 10, so up to 10 counts as
    // nothing.
    EXPECT_EQ(Exposure(1, 1, 1280, -40, 60, 1000), 909); // 1440180 / 1585 + 1
    EXPECT_EQ(Exposure(1, 1, 1280, -36, 60, 1000), 909);
    EXPECT_EQ(Exposure(1, 1, 1280, -1000, 60, 1000), 909);
    EXPECT_EQ(Exposure(1, 1, 1280, -30, 60, 1000), 906); // 1440180 / 1591 + 1
    EXPECT_EQ(Exposure(0, 1, 1280, 10, 60, 1000), 945);
    EXPECT_EQ(Exposure(0, 1, 1280, -9, 60, 1000), 945);
    EXPECT_EQ(Exposure(0, 1, 1280, 11, 60, 1000), 944); // 1440180 / 1525
    EXPECT_EQ(Exposure(2, 1, 1280, INT_MIN, 60, 1000), 945);
    EXPECT_EQ(Exposure(3, 1, 1280, INT_MIN, 60, 1000), 909);
    EXPECT_EQ(Exposure(3, 1, 1280, INT_MAX, 60, 1000), 1);
}

TEST(BlankingClamp, LimitsEachValue) {
    EXPECT_EQ(ClampBlanking(2000, -9, 1930), 1930);
    EXPECT_EQ(ClampBlanking(-20, -9, 1930), -9);
    EXPECT_EQ(ClampBlanking(-9, -9, 1930), -9);
    EXPECT_EQ(ClampBlanking(100, -9, 1930), 100);
    EXPECT_EQ(ClampBlanking(INT_MIN, -9, 1930), -9);
}

TEST(BlankingClamp, MinimumWinsOverALowerMaximum) {
    EXPECT_EQ(ClampBlanking(5, 10, 0), 10);
    EXPECT_EQ(ClampBlanking(-100, 10, 0), 10);
    EXPECT_EQ(ClampBlanking(50, 10, 0), 10);
}
