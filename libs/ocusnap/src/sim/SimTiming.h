// Rolling-readout timing of the simulated sensor.
//
// The line time and the exposure come from ExposureTiming.h, the inverse of the exposure arithmetic
// the camera's users apply; a frame is the window's lines plus vertical blanking.
#pragma once

#include "../ExposureTiming.h"
#include "../Registers.h"

#include <cstdint>

namespace ocusnap::detail::sim {

inline constexpr double kTriggerPeriodSeconds = 0.5; // the external trigger of snap mode 1
inline constexpr int32_t kVerticalOverheadLines = 20;

int64_t FrameLines(int32_t windowHeight, int32_t vBlanking);
double ReadoutSeconds(int32_t deviceType, const Registers& registers);
// The free-running frame period: the readout, or the exposure when that is longer.
double FramePeriodSeconds(int32_t deviceType, const Registers& registers);

} // namespace ocusnap::detail::sim
