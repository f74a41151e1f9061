#include "frame/Settings.h"

#include "common/UserFolders.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace ocu {
namespace {

int ReadInRange(const IniFile& ini, const char* key, int defaultValue, int min, int max) {
    const int value = ini.GetInt(kSettingsSection, key, defaultValue);
    return (value >= min && value <= max) ? value : defaultValue;
}

int ReadAny(const IniFile& ini, const char* key, int defaultValue) {
    return ini.GetInt(kSettingsSection, key, defaultValue);
}

double ReadRatio(const IniFile& ini, const char* lowKey, const char* highKey) {
    DoubleHalves halves;
    halves.low = ReadAny(ini, lowKey, 0);
    halves.high = ReadAny(ini, highKey, 0);
    return JoinDouble(halves);
}

void Write(IniFile& ini, const char* key, int value) {
    ini.SetString(kSettingsSection, key, std::to_string(value));
}

void WriteRatio(IniFile& ini, const char* lowKey, const char* highKey, double value) {
    const DoubleHalves halves = SplitDouble(value);
    Write(ini, lowKey, halves.low);
    Write(ini, highKey, halves.high);
}

} // namespace

DoubleHalves SplitDouble(double value) {
    static_assert(sizeof(double) == 8);
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return DoubleHalves{static_cast<int32_t>(static_cast<uint32_t>(bits)),
                        static_cast<int32_t>(static_cast<uint32_t>(bits >> 32))};
}

double JoinDouble(DoubleHalves halves) {
    const uint64_t bits =
        (static_cast<uint64_t>(static_cast<uint32_t>(halves.high)) << 32) | static_cast<uint32_t>(halves.low);
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

StoredSettings ReadSettings(const IniFile& ini) {
    const StoredSettings d;
    StoredSettings s;
    s.nResolution = ReadInRange(ini, "Resolution", d.nResolution, 0, 2);
    s.nSnapMode = ReadInRange(ini, "SnapMode", d.nSnapMode, 0, 1);
    s.nImageMode = ReadInRange(ini, "ImageMode", d.nImageMode, 0, 1);
    s.nBayerLayout = ReadInRange(ini, "BayerLayout", d.nBayerLayout, 1, 4);
    s.nTintUpper = ReadAny(ini, "TintUpper", d.nTintUpper);
    s.nTintLower = ReadAny(ini, "TintLower", d.nTintLower);
    s.nADCLevel = ReadInRange(ini, "ADCLevel", d.nADCLevel, 0, 3);
    s.nGain[0] = ReadAny(ini, "GainRCh", d.nGain[0]);
    s.nGain[1] = ReadAny(ini, "GainRChG", d.nGain[1]);
    s.nGain[2] = ReadAny(ini, "GainBChG", d.nGain[2]);
    s.nGain[3] = ReadAny(ini, "GainBCh", d.nGain[3]);
    s.dRatioR = ReadRatio(ini, "RatioRL", "RatioRH");
    s.dRatioG = ReadRatio(ini, "RatioGL", "RatioGH");
    s.dRatioB = ReadRatio(ini, "RatioBL", "RatioBH");
    s.nHBlanking = ReadAny(ini, "HBlanking", d.nHBlanking);
    s.nVBlanking = ReadAny(ini, "VBlanking", d.nVBlanking);
    s.nSnapSpeed = ReadInRange(ini, "SnapSpeed", d.nSnapSpeed, 0, 1);
    return s;
}

void WriteSettings(IniFile& ini, const StoredSettings& s) {
    // "TintLower" before "TintUpper": files written by every earlier version list them so.
    Write(ini, "Resolution", s.nResolution);
    Write(ini, "SnapMode", s.nSnapMode);
    Write(ini, "ImageMode", s.nImageMode);
    Write(ini, "BayerLayout", s.nBayerLayout);
    Write(ini, "TintLower", s.nTintLower);
    Write(ini, "TintUpper", s.nTintUpper);
    Write(ini, "ADCLevel", s.nADCLevel);
    Write(ini, "GainRCh", s.nGain[0]);
    Write(ini, "GainRChG", s.nGain[1]);
    Write(ini, "GainBChG", s.nGain[2]);
    Write(ini, "GainBCh", s.nGain[3]);
    WriteRatio(ini, "RatioRL", "RatioRH", s.dRatioR);
    WriteRatio(ini, "RatioGL", "RatioGH", s.dRatioG);
    WriteRatio(ini, "RatioBL", "RatioBH", s.dRatioB);
    Write(ini, "HBlanking", s.nHBlanking);
    Write(ini, "VBlanking", s.nVBlanking);
    Write(ini, "SnapSpeed", s.nSnapSpeed);
}

std::string SettingsFilePath() {
    return ConfigFolder() + "/" + kSettingsFileName;
}

} // namespace ocu
