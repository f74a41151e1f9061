#include "SimConfig.h"

#include "../ConfigurationProblem.h"
#include "SimControl.h"

namespace ocusnap::detail::sim {

namespace {

bool ParseBool(std::string_view text, bool& value) {
    if (text == "1" || text == "on" || text == "yes" || text == "true") {
        value = true;
        return true;
    }
    if (text == "0" || text == "off" || text == "no" || text == "false") {
        value = false;
        return true;
    }
    return false;
}

bool ParseFaults(std::string_view list, Faults& faults) {
    while (!list.empty()) {
        const size_t comma = list.find(',');
        const std::string_view item = list.substr(0, comma);
        if (item == "begin") {
            faults.begin = true;
        } else if (item == "open") {
            faults.open = true;
        } else if (item == "start") {
            faults.start = true;
        } else if (item == "snapshot") {
            faults.snapshot = true;
        } else if (!item.empty()) {
            return false;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        list.remove_prefix(comma + 1);
    }
    return true;
}

bool ParseSide(std::string_view digits, int32_t& side) {
    if (digits.empty() || digits.size() > 5 || digits.front() == '0') {
        return false;
    }
    int32_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    if (value < kSensorSideMin || value > kSensorSideMax || value % 8 != 0) {
        return false;
    }
    side = value;
    return true;
}

} // namespace

bool ParseSensorSize(std::string_view text, int32_t& width, int32_t& height) {
    const size_t x = text.find('x');
    int32_t w = 0;
    int32_t h = 0;
    if (x == std::string_view::npos || !ParseSide(text.substr(0, x), w) ||
        !ParseSide(text.substr(x + 1), h)) {
        return false;
    }
    width = w;
    height = h;
    return true;
}

OCUSTATUS ParseSimConfig(const EnvLookup& env, SimConfig& config, std::string& problem) {
    config = SimConfig{};
    auto fail = [&](const char* name, const char* takes) {
        const char* value = env(name);
        problem = DescribeBadSetting(name, value ? value : "", takes);
        return OCU_ERR_BAD_CONFIGURATION;
    };

    if (const char* v = env("OCUSNAP_DEVICE_TYPE"); v && *v) {
        const std::string_view t(v);
        if (t.size() != 1 || t[0] < '0' || t[0] > '3') {
            return fail("OCUSNAP_DEVICE_TYPE", "0, 1, 2 or 3");
        }
        config.deviceType = t[0] - '0';
    }
    if (const char* v = env("OCUSNAP_BAYER"); v && *v) {
        const std::string_view b(v);
        if (b == "GBRG") {
            config.bayer = Bayer::GBRG;
        } else if (b == "GRBG") {
            config.bayer = Bayer::GRBG;
        } else if (b == "BGGR") {
            config.bayer = Bayer::BGGR;
        } else if (b == "RGGB") {
            config.bayer = Bayer::RGGB;
        } else {
            return fail("OCUSNAP_BAYER", "GRBG, GBRG, BGGR or RGGB");
        }
    }
    if (const char* v = env("OCUSNAP_SIM_SCENE"); v && *v) {
        const std::string_view s(v);
        if (s == "chart") {
            config.scene = SceneKind::Chart;
        } else if (s == "flat") {
            config.scene = SceneKind::Flat;
        } else if (s == "dark") {
            config.scene = SceneKind::Dark;
        } else {
            return fail("OCUSNAP_SIM_SCENE", "chart, flat or dark");
        }
    }
    if (const char* v = env("OCUSNAP_SIM_NOISE"); v && *v && !ParseBool(v, config.noise)) {
        return fail("OCUSNAP_SIM_NOISE", "1 or 0");
    }
    if (const char* v = env("OCUSNAP_SIM_FREEZE"); v && *v && !ParseBool(v, config.freeze)) {
        return fail("OCUSNAP_SIM_FREEZE", "0 or 1");
    }
    if (const char* v = env("OCUSNAP_SIM_FPS"); v && *v) {
        const std::string_view f(v);
        if (f == "max") {
            config.maxFps = true;
        } else if (f != "real") {
            return fail("OCUSNAP_SIM_FPS", "real or max");
        }
    }
    if (const char* v = env("OCUSNAP_SIM_SENSOR");
        v && *v && !ParseSensorSize(v, config.sensorWidth, config.sensorHeight)) {
        return fail("OCUSNAP_SIM_SENSOR", "WxH, each side a multiple of 8 from 64 to 8192");
    }
    config.controlPath = ControlFilePath(env);
    if (const char* v = env("OCUSNAP_FAIL"); v && !ParseFaults(v, config.faults)) {
        return fail("OCUSNAP_FAIL", "a list of begin, open, start and snapshot");
    }
    return OCU_OK;
}

} // namespace ocusnap::detail::sim
