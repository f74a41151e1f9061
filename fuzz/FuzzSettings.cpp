// The settings file reader: any text parses, the twenty settings read from it are written back, and the
// written text reads back as exactly those settings, with every other line kept.
#include "frame/IniFile.h"
#include "frame/Settings.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

using namespace ocu;

namespace {

bool Same(const StoredSettings& a, const StoredSettings& b) {
    const auto bits = [](double d) {
        uint64_t u = 0;
        std::memcpy(&u, &d, sizeof u);
        return u;
    };
    return a.nResolution == b.nResolution && a.nSnapMode == b.nSnapMode && a.nImageMode == b.nImageMode &&
           a.nBayerLayout == b.nBayerLayout && a.nTintUpper == b.nTintUpper && a.nTintLower == b.nTintLower &&
           a.nADCLevel == b.nADCLevel && a.nGain == b.nGain && bits(a.dRatioR) == bits(b.dRatioR) &&
           bits(a.dRatioG) == bits(b.dRatioG) && bits(a.dRatioB) == bits(b.dRatioB) &&
           a.nHBlanking == b.nHBlanking && a.nVBlanking == b.nVBlanking && a.nSnapSpeed == b.nSnapSpeed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniFile ini(text);
    StoredSettings settings = ReadSettings(ini);
    // Something of the input's own as values, so that writing meets unusual numbers too.
    if (size >= 8)
        std::memcpy(&settings.dRatioG, data, sizeof settings.dRatioG);
    if (size >= 12)
        std::memcpy(&settings.nHBlanking, data + 8, sizeof settings.nHBlanking);
    WriteSettings(ini, settings);
    const IniFile again(ini.Text());
    if (!Same(ReadSettings(again), settings))
        std::abort();
    if (again.Text() != ini.Text())
        std::abort();
    return 0;
}
