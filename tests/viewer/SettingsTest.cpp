#include "frame/Settings.h"

#include "TestSupport.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

using namespace ocu;
using ocu::test::ScopedEnv;

namespace {

uint64_t Bits(double value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void ExpectSame(const StoredSettings& a, const StoredSettings& b) {
    EXPECT_EQ(a.nResolution, b.nResolution);
    EXPECT_EQ(a.nSnapMode, b.nSnapMode);
    EXPECT_EQ(a.nImageMode, b.nImageMode);
    EXPECT_EQ(a.nBayerLayout, b.nBayerLayout);
    EXPECT_EQ(a.nTintUpper, b.nTintUpper);
    EXPECT_EQ(a.nTintLower, b.nTintLower);
    EXPECT_EQ(a.nADCLevel, b.nADCLevel);
    EXPECT_EQ(a.nGain, b.nGain);
    EXPECT_EQ(Bits(a.dRatioR), Bits(b.dRatioR));
    EXPECT_EQ(Bits(a.dRatioG), Bits(b.dRatioG));
    EXPECT_EQ(Bits(a.dRatioB), Bits(b.dRatioB));
    EXPECT_EQ(a.nHBlanking, b.nHBlanking);
    EXPECT_EQ(a.nVBlanking, b.nVBlanking);
    EXPECT_EQ(a.nSnapSpeed, b.nSnapSpeed);
}

} // namespace

TEST(RatioHalves, KnownValues) {
    EXPECT_EQ(SplitDouble(1.0).low, 0);
    EXPECT_EQ(SplitDouble(1.0).high, 1072693248);
    EXPECT_EQ(SplitDouble(1.25).low, 0);
    EXPECT_EQ(SplitDouble(1.25).high, 1072955392);
    EXPECT_EQ(SplitDouble(1.1).low, -1717986918);
    EXPECT_EQ(SplitDouble(1.1).high, 1072798105);
    EXPECT_EQ(JoinDouble(DoubleHalves{-1717986918, 1072798105}), 1.1);
    EXPECT_EQ(JoinDouble(DoubleHalves{0, 0}), 0.0);
}

TEST(RatioHalves, RoundTripBitForBit) {
    const double values[] = {0.0,
                             -0.0,
                             1.1,
                             0.1 + 0.2,
                             1e-310,
                             -3.5,
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::infinity(),
                             std::nan("0x5a5a")};
    for (double value : values)
        EXPECT_EQ(Bits(JoinDouble(SplitDouble(value))), Bits(value)) << value;
}

TEST(Settings, NoFileGivesTheFirstRunValues) {
    const StoredSettings s = ReadSettings(IniFile());
    EXPECT_EQ(s.nResolution, 0);
    EXPECT_EQ(s.nSnapMode, 0);
    EXPECT_EQ(s.nImageMode, 0);
    EXPECT_EQ(s.nBayerLayout, 2);
    EXPECT_EQ(s.nTintUpper, 60);
    EXPECT_EQ(s.nTintLower, 1000);
    EXPECT_EQ(s.nADCLevel, 1);
    EXPECT_EQ(s.nGain, (std::array<int, 4>{8, 8, 8, 8}));
    EXPECT_EQ(Bits(s.dRatioR), 0u);
    EXPECT_EQ(Bits(s.dRatioG), 0u);
    EXPECT_EQ(Bits(s.dRatioB), 0u);
    EXPECT_EQ(s.nHBlanking, 0);
    EXPECT_EQ(s.nVBlanking, 0);
    EXPECT_EQ(s.nSnapSpeed, 1);
}

TEST(Settings, OnlyTintUpperInTheSection) {
    const StoredSettings s = ReadSettings(IniFile("[Video Parameter]\nTintUpper=30\n"));
    EXPECT_EQ(s.nTintUpper, 30);
    EXPECT_EQ(s.nTintLower, 1000);
    StoredSettings expected;
    expected.nTintUpper = 30;
    ExpectSame(s, expected);

    // Outside any section the line belongs to no section, and everything reads as its default.
    ExpectSame(ReadSettings(IniFile("TintUpper=30\n")), StoredSettings());
}

TEST(Settings, FirstWriteListsTheKeysInWriteOrder) {
    StoredSettings s;
    s.dRatioR = 1.1;
    s.nHBlanking = -5;
    IniFile ini;
    WriteSettings(ini, s);
    EXPECT_EQ(ini.Text(), "[Video Parameter]\n"
                          "Resolution=0\n"
                          "SnapMode=0\n"
                          "ImageMode=0\n"
                          "BayerLayout=2\n"
                          "TintLower=1000\n"
                          "TintUpper=60\n"
                          "ADCLevel=1\n"
                          "GainRCh=8\n"
                          "GainRChG=8\n"
                          "GainBChG=8\n"
                          "GainBCh=8\n"
                          "RatioRL=-1717986918\n"
                          "RatioRH=1072798105\n"
                          "RatioGL=0\n"
                          "RatioGH=0\n"
                          "RatioBL=0\n"
                          "RatioBH=0\n"
                          "HBlanking=-5\n"
                          "VBlanking=0\n"
                          "SnapSpeed=1\n");
}

TEST(Settings, RoundTrip) {
    StoredSettings s;
    s.nResolution = 2;
    s.nSnapMode = 1;
    s.nImageMode = 1;
    s.nBayerLayout = 4;
    s.nTintUpper = 7;
    s.nTintLower = 30;
    s.nADCLevel = 3;
    s.nGain = {1, 2, 127, 0};
    s.dRatioR = 1.1;
    s.dRatioG = 1.0;
    s.dRatioB = 0.7312345678901234;
    s.nHBlanking = 1930;
    s.nVBlanking = -9;
    s.nSnapSpeed = 0;
    IniFile ini("[Video Parameter]\nUnknown=3\n");
    WriteSettings(ini, s);
    ExpectSame(ReadSettings(IniFile(ini.Text())), s);
    EXPECT_EQ(ini.GetString("Video Parameter", "Unknown"), "3");
}

TEST(Settings, ValuesOutsideTheirRangeReadAsTheDefault) {
    const StoredSettings s = ReadSettings(IniFile("[Video Parameter]\n"
                                                  "Resolution=3\nSnapMode=2\nImageMode=-1\nBayerLayout=5\n"
                                                  "ADCLevel=4\nSnapSpeed=2\nTintUpper=-5\nGainRCh=500\n"));
    EXPECT_EQ(s.nResolution, 0);
    EXPECT_EQ(s.nSnapMode, 0);
    EXPECT_EQ(s.nImageMode, 0);
    EXPECT_EQ(s.nBayerLayout, 2);
    EXPECT_EQ(s.nADCLevel, 1);
    EXPECT_EQ(s.nSnapSpeed, 1);
    // Keys without a range of their own are kept as read.
    EXPECT_EQ(s.nTintUpper, -5);
    EXPECT_EQ(s.nGain[0], 500);

    const StoredSettings low = ReadSettings(IniFile("[Video Parameter]\nResolution=-1\nBayerLayout=0\n"));
    EXPECT_EQ(low.nResolution, 0);
    EXPECT_EQ(low.nBayerLayout, 2);
}

TEST(Settings, FilePathFollowsXdgConfigHome) {
    {
        const ScopedEnv config("XDG_CONFIG_HOME", "/somewhere/config");
        EXPECT_EQ(SettingsFilePath(), "/somewhere/config/OcuViewer.ini");
    }
    // Unset, empty or relative: the base directory rules' default.
    const ScopedEnv home("HOME", "/home/someone");
    for (const std::optional<std::string>& value :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("relative/config")}) {
        const ScopedEnv config("XDG_CONFIG_HOME", value);
        EXPECT_EQ(SettingsFilePath(), "/home/someone/.config/OcuViewer.ini") << value.value_or("(unset)");
    }
}
