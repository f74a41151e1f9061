// The simulated camera's settings, read from the environment when a camera is opened.
#pragma once

#include "OcuSnap.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ocusnap::detail::sim {

// Bayer layouts by the colours of the first two samples of rows 0 and 1: the driver's (and the viewer's)
// codes, which the capabilities report as they are.
enum class Bayer : int32_t {
    GBRG = OCU_BAYER_GBRG,
    GRBG = OCU_BAYER_GRBG,
    BGGR = OCU_BAYER_BGGR,
    RGGB = OCU_BAYER_RGGB
};

// What the lens sees: the test chart, a uniformly lit white surface (for pattern-noise templates),
// or nothing (lens covered, for bad-pixel detection).
enum class SceneKind { Chart, Flat, Dark };

struct Faults {
    bool begin = false;
    bool open = false;
    bool start = false;
    bool snapshot = false;
};

// OCUSNAP_SIM_SENSOR: each side a multiple of 8 (so that the quarter-size mode still has whole 2 x 2
// Bayer blocks) within these bounds.
inline constexpr int32_t kSensorSideMin = 64;
inline constexpr int32_t kSensorSideMax = 8192;

struct SimConfig {
    int32_t deviceType = 2;
    // The full sensor (mode 0); modes 1 and 2 are half and quarter of it. Zero: the standard table,
    // 1280 x 1024, 640 x 480, 320 x 240.
    int32_t sensorWidth = 0;
    int32_t sensorHeight = 0;
    Bayer bayer = Bayer::GRBG;
    SceneKind scene = SceneKind::Chart;
    bool noise = true;       // fixed-pattern offsets, hot and dead pixels, temporal noise
    bool maxFps = false;     // no frame timing: frames as fast as they can be rendered
    bool freeze = false;     // the moving object stands still
    std::string controlPath; // the lens cap and light box file (SimControl.h)
    Faults faults;
};

// Looks up one environment variable; null when unset. Tests pass their own.
using EnvLookup = std::function<const char*(const char* name)>;

// Reads "WxH" as OCUSNAP_SIM_SENSOR gives it; false for anything else, sizes out of bounds included.
bool ParseSensorSize(std::string_view text, int32_t& width, int32_t& height);

// OCU_OK, or OCU_ERR_BAD_CONFIGURATION with `problem` naming the variable that is wrong, its value and
// what it takes.
OCUSTATUS ParseSimConfig(const EnvLookup& env, SimConfig& config, std::string& problem);

} // namespace ocusnap::detail::sim
