// The simulated sensor's signal chain, applied per frame to the prepared scene.
//
// Light: radiance code x channel sensitivity x exposure time x analog gain gives the signal in units
// of an 11-bit converter (0..2047, where the photosite also saturates). Offsets and temporal noise
// are added at the converter input. The ADC level picks which 8 of the 11 bits are delivered:
// level L delivers bits (10 - L) .. (3 - L), so each level doubles the picture's brightness, and a
// value above the top delivered bit saturates at 255.
#pragma once

#include "../Registers.h"
#include "SimScene.h"

#include <array>
#include <cstdint>
#include <optional>
#include <tuple>
#include <vector>

namespace ocusnap::detail::sim {

inline constexpr int kConverterMax = 2047;

// A signal as the photosite of response r (tenths of a percent) gives it: signal x (1 + r / 1000), the
// division a multiplication by 2^22 / 1000.
constexpr int32_t Respond(int32_t signal, int8_t response) {
    return signal + ((signal * response * 4194) >> 22);
}
// A reflectance-1 green site at the standard exposure (60 ms, gain 8) gives this converter value:
// about 200 of 255 at ADC level 1; at level 2 only the brightest whites clip.
inline constexpr double kWhiteAtStandardExposure = 820.0;
inline constexpr double kStandardExposureSeconds = 0.060;
// Relative sensitivity of the red, green and blue filters. Green leads, as on a real sensor, so that a
// white balance has something to measure; the lead is kept small, because the first run shows the raw
// colours (no ratios stored yet) and that picture should already look right.
inline constexpr std::array<double, 4> kChannelSensitivity{0.94, 1.0, 1.0, 0.88};
inline constexpr double kReadNoiseSigma = 2.0; // converter units

struct FrameInput {
    Registers registers;
    int32_t deviceType = 2;
    double exposureSeconds = 0.0;
    uint64_t frameIndex = 0;            // seeds the temporal noise
    uint64_t motionIndex = 0;           // places the moving object
    SceneKind scene = SceneKind::Chart; // what the lens sees in this frame
    bool noise = true;
    int focus = 0;                          // pixels the lens is out of focus by (SimFocus.h)
    const uint16_t* focusedChart = nullptr; // the chart blurred by that much; null: the sharp chart
};

// A frame without noise and without the moving object, kept for the settings it was rendered with.
struct StillFrame {
    struct Key {
        const ModeScene* scene = nullptr;
        SceneKind kind = SceneKind::Chart;
        Window window;
        std::optional<std::tuple<double, std::array<int32_t, 4>, int32_t>> tables;
        int focus = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };
    std::optional<Key> key;      // none until the first still frame
    std::vector<uint8_t> pixels; // grows to the largest window rendered, then stays
};

// Per-frame lookup tables and the still frame; one per rendering thread, so that rendering allocates
// nothing from frame to frame.
struct FrameTables {
    // The settings the tables were built for: exposure, gains, ADC level. They are rebuilt when these
    // change.
    using Key = std::tuple<double, std::array<int32_t, 4>, int32_t>;
    std::optional<Key> builtFor;
    StillFrame still;
    // Converter value before offsets and noise, per channel and radiance code.
    std::array<std::array<uint16_t, kRadianceMax + 1>, 4> signal;
    // Delivered 8-bit value per channel and radiance code, without noise.
    std::array<std::array<uint8_t, kRadianceMax + 1>, 4> clean;
    // Delivered 8-bit value for a converter input of (index - kOutputBias).
    static constexpr int kOutputBias = 128;
    // Room above the converter's top for all that a site's response, its offset and a noise sample can
    // add to a full signal by their types (int8_t, uint8_t, int8_t), so that no value needs a clamp.
    static constexpr int kOutputHeadroom =
        Respond(kConverterMax, INT8_MAX) - kConverterMax + UINT8_MAX + INT8_MAX;
    std::array<uint8_t, kOutputBias + kConverterMax + kOutputHeadroom + 1> output;
};

// The converter value of a signal for the given ADC level, as delivered in 8 bits.
uint8_t DeliveredValue(int32_t converterValue, int32_t adcLevel);

// Renders the output window of `input.registers` into `destination` (width x height bytes).
void RenderFrame(const ModeScene& scene, Bayer bayer, const FrameInput& input, FrameTables& tables,
                 uint8_t* destination);

} // namespace ocusnap::detail::sim
