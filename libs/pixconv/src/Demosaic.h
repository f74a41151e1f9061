// The demosaicing kernels behind ConvertBayer2Rgb. Each writes the whole W x H x 3 destination,
// bottom-up, through the tables; the raw image is at least 2 x 2 with W and H even.
#pragma once

#include "BayerPattern.h"
#include "RgbWriter.h"
#include "WorkerPool.h"

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
// the processor lacks falls back to the best it has. A frame of at least splitPixels is split into
// bands of rows over the pool's threads (pool may be null: the calling thread converts it all).
enum class FastPath { kBaseline, kAvx2, kAvx512Vbmi };
FastPath BestFastPath();
constexpr std::ptrdiff_t kFastSplitPixels = std::ptrdiff_t{1} << 20;
constexpr std::ptrdiff_t kFastBandPixels = std::ptrdiff_t{1} << 15;
void ConvertFast(FastPath path, const RawImage& raw, uint8_t* pDst, const PackedLut& lut, WorkerPool* pool,
                 std::ptrdiff_t splitPixels = kFastSplitPixels);
// The same arithmetic one pixel at a time: the reference the vector code must match exactly.
void ConvertFastReference(const RawImage& raw, uint8_t* pDst, const PackedLut& lut);

// The slower types work tile by tile on floating-point planes, four to nine planes of a padded tile
// (at most about 2 MB) for each of the pool's threads, kept by the pool between frames. The tiles are
// shared out over the pool's threads (pool may be null: the calling thread converts them all, with
// planes allocated for the call). They throw std::bad_alloc, before writing anything, when the planes
// cannot be had. tileSize (even) is there for the tests; the result does not depend on it, nor on the
// number of threads.
constexpr std::ptrdiff_t kTileSize = 192;
void ConvertHamiltonAdams(const RawImage& raw, uint8_t* pDst, const PackedLut& lut, WorkerPool* pool,
                          std::ptrdiff_t tileSize = kTileSize);
void ConvertRcd(const RawImage& raw, uint8_t* pDst, const PackedLut& lut, WorkerPool* pool,
                std::ptrdiff_t tileSize = kTileSize);
void ConvertLmmse(const RawImage& raw, uint8_t* pDst, const PackedLut& lut, WorkerPool* pool,
                  std::ptrdiff_t tileSize = kTileSize);

} // namespace pixconv
