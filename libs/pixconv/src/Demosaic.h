// The demosaicing kernels behind ConvertBayer2Rgb. Each writes the whole W x H x 3 destination,
// bottom-up, through the tables; the raw image is at least 2 x 2 with W and H even.
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

// Malvar-He-Cutler, vectorised: allocates nothing. The instruction sets it can use, in order; a path
// the processor lacks falls back to the best it has. tables are the caller's red, green and blue
// tables, which lut was built from.
enum class FastPath { kBaseline, kAvx2, kAvx512Vbmi };
FastPath BestFastPath();
void ConvertFast(FastPath path, const RawImage& raw, uint8_t* pDst, const PackedLut& lut,
                 const uint8_t* const tables[3]);
// The same arithmetic one pixel at a time: the reference the vector code must match exactly.
void ConvertFastReference(const RawImage& raw, uint8_t* pDst, const PackedLut& lut);

// The slower types work tile by tile on floating-point planes, allocated per call: four to nine
// planes of a padded tile (at most about 2 MB). They throw std::bad_alloc when memory runs out.
// tileSize (even) is there for the tests; the result does not depend on it.
constexpr std::ptrdiff_t kTileSize = 192;
void ConvertHamiltonAdams(const RawImage& raw, uint8_t* pDst, const PackedLut& lut,
                          std::ptrdiff_t tileSize = kTileSize);
void ConvertRcd(const RawImage& raw, uint8_t* pDst, const PackedLut& lut,
                std::ptrdiff_t tileSize = kTileSize);
void ConvertLmmse(const RawImage& raw, uint8_t* pDst, const PackedLut& lut,
                  std::ptrdiff_t tileSize = kTileSize);

} // namespace pixconv
