// Checks shared by the functions that work on a full-sensor frame or on a region of it.
#pragma once

#include <cstdint>

namespace pixconv {

// Large enough that width x height fits in an int64 without question and small enough to be a sensor.
constexpr int kMaxSide = 1 << 16;

inline bool ValidFrame(int nWidth, int nHeight) {
    return nWidth >= 2 && nHeight >= 2 && nWidth <= kMaxSide && nHeight <= kMaxSide;
}

// A region of the sensor: it must lie wholly inside the full-size frame.
inline bool ValidRegion(int nLeft, int nTop, int nWidth, int nHeight, int nFullWidth, int nFullHeight) {
    return ValidFrame(nFullWidth, nFullHeight) && nLeft >= 0 && nTop >= 0 && nWidth > 0 && nHeight > 0 &&
           nWidth <= nFullWidth - nLeft && nHeight <= nFullHeight - nTop;
}

} // namespace pixconv
