// Exposure arithmetic and blanking limits: what the viewer sends to the camera for an exposure time.
#pragma once

namespace ocu {

// Everything the exposure value depends on. The exposure time is upper / lower seconds.
struct ExposureInput {
    int deviceType = 0; // 0 VelA, 1 VelB, 2 VelC, any other value: a later model
    int snapSpeed = 1;  // 1 high (24 MHz pixel clock), 0 normal (12 MHz); only types 2 and up honour it
    int width = 0;      // width of the read-out region in pixels
    int hBlanking = 0;
    int upper = 60;
    int lower = 1000;
};

// The shortest exposure the arithmetic works with, in seconds.
inline constexpr double kMinExposureSeconds = 1e-9;
// The largest value the camera's exposure register holds.
inline constexpr int kMaxExposureValue = 16383;

// The exposure time in line times (what OcuAECControl expects): the time in pixel clocks divided by
// the length of one line, capped at kMaxExposureValue and truncated toward zero.
int ExposureValue(const ExposureInput& in);

struct BlankingRange {
    int hMin = -9;
    int vMin = -9;
    int hMax = 1930;
    int vMax = 1930;
};

// The limits used when the device cannot report its own.
inline constexpr BlankingRange kDefaultBlankingRange{};

// Limits one blanking value: the maximum first, then the minimum, so that a minimum above the maximum wins.
int ClampBlanking(int value, int min, int max);

} // namespace ocu
