// What a camera is (its capabilities) and what it has been told (its registers).
#pragma once

#include "OcuSnap.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace ocusnap::detail {

struct Window {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    friend bool operator==(const Window&, const Window&) = default;
};

struct Capabilities {
    int32_t deviceType = 2;
    std::vector<ResolutionEntry> resolutions; // entry 0 is the largest
    // Reported through OcuGetDeviceInfo code 4 when present; without it blanking is held to
    // kFixedBlankingLimits.
    std::optional<BlankingLimits> blankingLimits;
    bool hasSnapSpeed = true;
    int32_t bayerLayout = OCU_BAYER_GRBG;

    int64_t LargestFrameBytes() const;
};

// The range that cameras without a blanking query accept.
inline constexpr BlankingLimits kFixedBlankingLimits{-9, -9, 1930, 1930};
// The range that later models (device type 3) report unless they know their own.
inline constexpr BlankingLimits kLaterModelBlankingLimits{-36, -16, 8191, 4095};

// Gain channel index 0..3 in the order red, green on red rows, green on blue rows, blue.
enum GainIndex { kGainRed = 0, kGainGreenRedRow = 1, kGainGreenBlueRow = 2, kGainBlue = 3 };

struct Registers {
    int32_t mode = 0;
    Window window;
    int32_t snapMode = 0;  // 0 continuation, 1 trigger
    int32_t snapSpeed = 1; // 0 normal, 1 high
    int32_t hBlanking = 0;
    int32_t vBlanking = 0;
    std::array<int32_t, 4> gain{8, 8, 8, 8};
    int32_t adcLevel = 1;
    // In line times. About 60 ms at full width and high speed: a camera just switched on shows a
    // picture before anybody sets the exposure.
    int32_t exposure = 945;
};

// The registers of a camera just opened: mode 0 with the whole image as its window.
Registers PowerOnRegisters(const Capabilities& caps);

// Argument checks shared by every backend. Each returns OCU_OK or the status for the refusal.
OCUSTATUS CheckResolution(const Capabilities& caps, int32_t mode);
OCUSTATUS CheckWindow(const Capabilities& caps, int32_t mode, const Window& window);
OCUSTATUS CheckBufferList(uint8_t* const* buffers, int32_t count);

// The window cut down to the image of `mode` (a mode change during acquisition); a window left
// entirely outside becomes the whole image.
Window FitWindow(const Capabilities& caps, int32_t mode, const Window& window);

BlankingLimits EffectiveBlankingLimits(const Capabilities& caps);
int32_t ClampBlanking(int32_t value, int32_t min, int32_t max);

// Index 0..3 for a channel code 0x10..0x13, or -1.
int GainIndexOfChannel(uint8_t channel);

// The size protocol of OcuGetDeviceInfo: copies `bytes` from `data` when the caller's buffer is
// large enough, and always reports the size needed.
OCUSTATUS AnswerInfo(const void* data, uint32_t bytes, void* buffer, uint32_t* size);
OCUSTATUS AnswerDeviceInfo(const Capabilities& caps, int32_t infoCode, void* buffer, uint32_t* size);

} // namespace ocusnap::detail
