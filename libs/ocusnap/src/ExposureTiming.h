// What an exposure value means in time: the inverse of the exposure arithmetic the camera's users
// apply. The value counts line times; a line is the output-window width plus horizontal blanking plus
// a fixed overhead, in pixel clocks. Every backend that turns exposure values into a time (the
// simulated sensor, real cameras that take an exposure time) goes through these functions, so an
// exposure time converted to a value comes back as that time on any of them.
#pragma once

#include "Registers.h"

#include <cstdint>

namespace ocusnap::detail {

double PixelClockHz(int32_t deviceType, int32_t snapSpeed);
int64_t LineClocks(int32_t deviceType, int32_t windowWidth, int32_t hBlanking);
// The integration time that the registers' exposure value stands for with their line time.
double ExposureSeconds(int32_t deviceType, const Registers& registers);

} // namespace ocusnap::detail
