#include "ExposureTiming.h"

#include <algorithm>

namespace ocusnap::detail {

namespace {

// Types 0 and 2 share one line layout, types 1 and 3 (and later ones) the other.
bool FirstLineLayout(int32_t deviceType) {
    return deviceType == 0 || deviceType == 2;
}

} // namespace

double PixelClockHz(int32_t deviceType, int32_t snapSpeed) {
    if (deviceType == 0 || deviceType == 1) {
        return 24e6; // no speed setting: always the fast clock
    }
    return snapSpeed == 1 ? 24e6 : 12e6;
}

int64_t LineClocks(int32_t deviceType, int32_t windowWidth, int32_t hBlanking) {
    if (FirstLineLayout(deviceType)) {
        return int64_t{windowWidth} + std::max(int64_t{hBlanking} - 10, int64_t{0}) + 244;
    }
    return int64_t{windowWidth} + std::max(int64_t{hBlanking} + 36, int64_t{0}) + 305;
}

double ExposureSeconds(int32_t deviceType, const Registers& r) {
    const double clock = PixelClockHz(deviceType, r.snapSpeed);
    const auto line = static_cast<double>(LineClocks(deviceType, r.window.width, r.hBlanking));
    // The second layout counts one line of the exposure value as set-up time.
    const double lines = FirstLineLayout(deviceType) ? r.exposure : r.exposure - 1.0;
    return std::max(0.0, (lines * line - 180.0) / clock);
}

} // namespace ocusnap::detail
