#include "SimTiming.h"

#include <algorithm>

namespace ocusnap::detail::sim {

int64_t FrameLines(int32_t windowHeight, int32_t vBlanking) {
    return int64_t{windowHeight} + std::max(int64_t{vBlanking} + kVerticalOverheadLines, int64_t{1});
}

double ReadoutSeconds(int32_t deviceType, const Registers& r) {
    const double clock = PixelClockHz(deviceType, r.snapSpeed);
    const auto line = static_cast<double>(LineClocks(deviceType, r.window.width, r.hBlanking));
    return static_cast<double>(FrameLines(r.window.height, r.vBlanking)) * line / clock;
}

double FramePeriodSeconds(int32_t deviceType, const Registers& r) {
    return std::max(ReadoutSeconds(deviceType, r), ExposureSeconds(deviceType, r));
}

} // namespace ocusnap::detail::sim
