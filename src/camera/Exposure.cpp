#include "camera/Exposure.h"

#include <algorithm>
#include <limits>

namespace ocu {
namespace {

constexpr double kHighSpeedClock = 24000000.0;
constexpr double kNormalSpeedClock = 12000000.0;

// upper / lower with IEEE results for a zero denominator, written out so that no division by zero happens.
double ExposureSeconds(int upper, int lower) {
    if (lower == 0) {
        if (upper == 0)
            return std::numeric_limits<double>::quiet_NaN();
        return upper > 0 ? std::numeric_limits<double>::infinity() : -std::numeric_limits<double>::infinity();
    }
    return static_cast<double>(upper) / static_cast<double>(lower);
}

} // namespace

int ExposureValue(const ExposureInput& in) {
    const double speedClock = in.snapSpeed == 1 ? kHighSpeedClock : kNormalSpeedClock;

    double t = ExposureSeconds(in.upper, in.lower);
    if (!(t > kMinExposureSeconds)) // also catches a not-a-number
        t = kMinExposureSeconds;

    const double width = in.width;
    const double hBlanking = in.hBlanking;
    double value = 0.0;
    switch (in.deviceType) {
    case 0:
        value = (t * kHighSpeedClock + 180.0) / (width + std::max(hBlanking - 10.0, 0.0) + 244.0);
        break;
    case 2:
        value = (t * speedClock + 180.0) / (width + std::max(hBlanking - 10.0, 0.0) + 244.0);
        break;
    case 1:
        value = (t * kHighSpeedClock + 180.0) / (width + std::max(hBlanking + 36.0, 0.0) + 305.0) + 1.0;
        break;
    default:
        value = (t * speedClock + 180.0) / (width + std::max(hBlanking + 36.0, 0.0) + 305.0) + 1.0;
        break;
    }

    if (value > kMaxExposureValue)
        value = kMaxExposureValue;
    // The line length is positive for any real region, so the value is too; the lower bound only keeps
    // the conversion defined.
    value = std::max(value, static_cast<double>(std::numeric_limits<int>::min()));
    return static_cast<int>(value);
}

int ClampBlanking(int value, int min, int max) {
    int clamped = std::min(value, max);
    if (clamped <= min)
        clamped = min;
    return clamped;
}

} // namespace ocu
