// The viewer's stored settings: twenty integer keys of section "Video Parameter" in "OcuViewer.ini".
#pragma once

#include "frame/IniFile.h"

#include <array>
#include <cstdint>
#include <string>

namespace ocu {

inline constexpr char kSettingsSection[] = "Video Parameter";
inline constexpr char kSettingsFileName[] = "OcuViewer.ini";

// The values a run carries over to the next one. The initial values are those a first run starts with
// (they differ from the frame's constructor in Bayer layout, ADC level and ratios).
struct StoredSettings {
    int nResolution = 0;
    int nSnapMode = 0;
    int nImageMode = 0;
    int nBayerLayout = 2;
    int nTintUpper = 60;
    int nTintLower = 1000;
    int nADCLevel = 1;
    std::array<int, 4> nGain{8, 8, 8, 8};
    double dRatioR = 0.0;
    double dRatioG = 0.0;
    double dRatioB = 0.0;
    int nHBlanking = 0;
    int nVBlanking = 0;
    int nSnapSpeed = 1;
};

// A double as the two 32-bit halves of its little-endian bytes, and back again bit for bit.
struct DoubleHalves {
    int32_t low = 0;
    int32_t high = 0;
};
DoubleHalves SplitDouble(double value);
double JoinDouble(DoubleHalves halves);

// Reads every key with its default. Values outside the range the viewer works with (resolution mode,
// snap mode, image mode, Bayer layout, ADC level, snap speed) read as their default too.
StoredSettings ReadSettings(const IniFile& ini);
// Writes all twenty keys in the order the file has always listed them.
void WriteSettings(IniFile& ini, const StoredSettings& settings);

// $XDG_CONFIG_HOME/OcuViewer.ini, or ~/.config/OcuViewer.ini when that is unset.
std::string SettingsFilePath();

} // namespace ocu
