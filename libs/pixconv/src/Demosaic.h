// The demosaicing kernels behind ConvertBayer2Rgb. Each writes the whole W x H x 3 destination,
// bottom-up, through the tables; the raw image is at least 4 x 2 with W and H even.
#pragma once

#include "BayerPattern.h"
#include "RgbWriter.h"

#include <cstddef>
#include <cstdint>

namespace pixconv {

struct RawImage {
    const uint8_t* data = nullptr;
    std::ptrdiff_t width = 0;
    std::ptrdiff_t height = 0;
    BayerPattern pattern;

    uint8_t At(std::ptrdiff_t x, std::ptrdiff_t y) const {
        return data[Mirror(y, height) * width + Mirror(x, width)];
    }
};

// Malvar-He-Cutler, vectorised: allocates nothing.
void ConvertFast(const RawImage& raw, uint8_t* pDst, const PackedLut& lut);
// The same arithmetic one pixel at a time: the reference the vector code must match exactly.
void ConvertFastReference(const RawImage& raw, uint8_t* pDst, const PackedLut& lut);

// The slower types work on padded floating-point planes that they allocate per call (about six to
// nine planes of the image's size); they throw std::bad_alloc when memory runs out.
void ConvertHamiltonAdams(const RawImage& raw, uint8_t* pDst, const PackedLut& lut);
void ConvertRcd(const RawImage& raw, uint8_t* pDst, const PackedLut& lut);
void ConvertLmmse(const RawImage& raw, uint8_t* pDst, const PackedLut& lut);

} // namespace pixconv
