// Rolling-readout timing of the simulated sensor.
//
// The line time is the output-window width plus horizontal blanking plus a fixed overhead, in pixel
// clocks; a frame is the window's lines plus vertical blanking; the exposure value counts line
// times. The constants are the inverse of the exposure arithmetic the camera's users apply, so an
// exposure time converted to an exposure value comes back as that time.
#pragma once

#include "../Registers.h"

#include <cstdint>

namespace ocusnap::detail::sim {

inline constexpr double kTriggerPeriodSeconds = 0.5; // the external trigger of snap mode 1
inline constexpr int32_t kVerticalOverheadLines = 20;

double PixelClockHz(int32_t deviceType, int32_t snapSpeed);
int64_t LineClocks(int32_t deviceType, int32_t windowWidth, int32_t hBlanking);
int64_t FrameLines(int32_t windowHeight, int32_t vBlanking);
// The integration time that an exposure value stands for with the current line time.
double ExposureSeconds(int32_t deviceType, const Registers& registers);
double ReadoutSeconds(int32_t deviceType, const Registers& registers);
// The free-running frame period: the readout, or the exposure when that is longer.
double FramePeriodSeconds(int32_t deviceType, const Registers& registers);

} // namespace ocusnap::detail::sim
