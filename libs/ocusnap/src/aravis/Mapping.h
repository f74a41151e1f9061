// The arithmetic between the driver's registers and a GenICam camera's features, free of any camera:
// regions and their increments, gains, frame periods, and turning camera samples into the 8-bit
// frames the driver delivers.
#pragma once

#include "../Registers.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace ocusnap::detail::aravis {

// One axis of the camera's region: the offsets and sizes it takes (min + k * increment) and how far
// the image reaches at the current binning.
struct AxisLimits {
    int64_t offsetMin = 0;
    int64_t offsetIncrement = 1;
    int64_t sizeMin = 1;
    int64_t sizeIncrement = 1;
    int64_t extent = 0; // the largest size at offset 0
};

struct Span {
    int64_t offset = 0;
    int64_t size = 0;
    friend bool operator==(const Span&, const Span&) = default;
};

// The smallest span the camera takes that contains [start, start + size), or none when the camera's
// steps leave no such span inside its image. A size of 0 is treated as 1.
std::optional<Span> ContainingSpan(int64_t start, int64_t size, const AxisLimits& limits);

// The largest valid size not above `size` (min + k * increment), or 0 when even the minimum is above.
int64_t FloorToStep(int64_t size, int64_t min, int64_t increment);

// The offset step that also keeps offsets on the Bayer period (even), so that a region never starts on
// another phase of the pattern than the layout reported: the least common multiple with 2.
int64_t BayerOffsetStep(int64_t increment);

// Where a centred region of `size` starts in an image of `extent`, on the offset grid (which, for a
// Bayer format, BayerOffsetStep has made even).
int64_t CentredOffset(int64_t extent, int64_t size, int64_t offsetMin, int64_t offsetStep);

// How a mode reduces the sensor by its factor: the first of binning, decimation and a centred region
// that the camera offers and that keeps the streamed pixel format (some cameras turn Mono when binned).
enum class Reduction { None, Binning, Decimation, CentredRegion };
struct ReductionOffer {
    bool offered = false;     // the feature pair reaches the factor in both directions
    bool keepsFormat = false; // the pixel format is still the one streamed once it is set
};
Reduction ChooseReduction(const ReductionOffer& binning, const ReductionOffer& decimation);

// Gain 8 is unity and the scale is linear (127 almost 16 times).
double GainFactor(double gain);
// What a camera's Gain feature counts in: decibels (the standard feature's unit, also when it names
// none), a plain factor ("x", "times"), or raw steps of unknown scale (an integer, or another unit).
enum class GainScale { Decibels, Factor, Raw };
GainScale GainScaleOf(bool isInteger, const char* unit);
// The value a gain feature of that scale takes for `gain`, within [min, max].
double GainFeatureValue(GainScale scale, double gain, double min, double max);
// The same factor in decibels, as the standard Gain feature takes it; gain 0 gives -infinity (the
// caller clamps to the feature's minimum).
double GainDecibels(double gain);
// A raw gain feature of unknown scale: unity and below at its minimum, 127 at its maximum, linear in
// between.
double RawGain(double gain, double min, double max);

// The frame period for a vertical blanking of `vBlanking` lines: blanking lengthens the camera's own
// period by that many of its lines; none (or less) leaves it as it was.
double BlankedFramePeriod(double basePeriod, int64_t lines, int32_t vBlanking);

// The samples of a camera buffer and the part of it that makes the frame.
struct SampleLayout {
    int32_t bufferWidth = 0;     // samples per row of the buffer
    int32_t bytesPerSample = 1;  // 1, or 2 for little-endian 16-bit samples
    int32_t significantBits = 8; // 8, 10 or 12
    int32_t cropX = 0;
    int32_t cropY = 0;
    int32_t width = 0; // of the frame
    int32_t height = 0;
};

// Bytes the buffer must hold for the crop to be inside it.
size_t RequiredBufferBytes(const SampleLayout& layout);

// Copies the frame out of the buffer as packed 8-bit rows, top first, delivering the 8 bits that the
// ADC level picks: level 0 the top 8, each further level one bit lower (twice the picture), values
// beyond the top saturating at 255. 8-bit samples are the top 8 bits: from level 1 on they are shifted
// up (the lowest bits stay 0), unless `shifted` says the camera did it itself.
void CopyFrame(const uint8_t* buffer, const SampleLayout& layout, int32_t adcLevel, bool shifted,
               uint8_t* destination);

} // namespace ocusnap::detail::aravis
