// The slower conversions run on floating-point planes one tile at a time, so that their working set
// stays small (a few megabytes, whatever the image size) and in cache. A tile carries a border of
// mirrored samples wide enough for every step of its algorithm.
#pragma once

#include "Demosaic.h"
#include "WorkerPool.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>

namespace pixconv {

// Each step of a slower conversion is compiled for baseline x86-64, AVX2 and x86-64-v4, and the best one
// the processor runs is chosen when the program starts. Its row kernels are always inlined into it, so
// that they are compiled for each too. Floating-point contraction is off for the library, so that every
// clone computes the same roundings and the results are the same on every processor; the tests check the
// chosen clones against a build of the same sources for baseline x86-64 alone (PIXCONV_BASELINE_ONLY).
// Not under ThreadSanitizer: the resolver that picks a clone runs while the program is loaded, before
// the sanitizer's runtime is ready for the calls that instrument it.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(__SANITIZE_THREAD__) &&                           \
    !defined(PIXCONV_BASELINE_ONLY)
#define PIXCONV_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define PIXCONV_VECTOR_CLONES
#endif
#define PIXCONV_ROW_KERNEL inline __attribute__((always_inline))

struct Tile {
    std::ptrdiff_t width = 0;   // including the border on both sides; also the row stride
    std::ptrdiff_t height = 0;  // including the border
    BayerPattern pattern;       // the border is even, so the tile's pattern is the image's
    const float* cfa = nullptr; // raw samples scaled to 0..1

    // Row y of the rectangle that leaves `margin` samples on every side: i is the index of its first
    // sample, n the number of samples, and sample k is a red or blue site when IsColourSite(k, p), a
    // green site otherwise. Kernels run over whole rows, both kinds of site, and choose per sample, so
    // that the compiler can vectorise them.
    struct Span {
        std::ptrdiff_t i, n;
        int p;
    };
    Span Row(std::ptrdiff_t y, std::ptrdiff_t margin) const {
        const int colourColumn = pattern.At(0, y) == kGreen ? 1 : 0;
        return {y * width + margin, width - 2 * margin, static_cast<int>((colourColumn ^ margin) & 1)};
    }
};

inline float Clamp01(float v) {
    v = v > 0.0f ? v : 0.0f; // also maps NaN to 0
    return v < 1.0f ? v : 1.0f;
}

// Whether sample k of a row span is a red or blue site; computed in 32 bits, so that the choice
// vectorises alongside 32-bit floats.
inline bool IsColourSite(std::ptrdiff_t k, int p) {
    return (static_cast<int>(k) & 1) == p;
}

inline float Abs(float v) {
    return std::fabs(v);
}

struct TileResult {
    const float* r;
    const float* g;
    const float* b;
};

// n samples of raw row y from column x0 on, mirrored where they fall outside, scaled to 0..1.
inline void LoadRow(const RawImage& raw, std::ptrdiff_t y, std::ptrdiff_t x0, float* __restrict out,
                    std::ptrdiff_t n) {
    const uint8_t* __restrict in = raw.data + y * raw.width;
    const std::ptrdiff_t begin = std::clamp<std::ptrdiff_t>(-x0, 0, n);
    const std::ptrdiff_t end = std::clamp<std::ptrdiff_t>(raw.width - x0, begin, n);
    for (std::ptrdiff_t x = 0; x < begin; ++x)
        out[x] = in[Mirror(x0 + x, raw.width)] * (1.0f / 255);
    for (std::ptrdiff_t x = begin; x < end; ++x)
        out[x] = in[x0 + x] * (1.0f / 255);
    for (std::ptrdiff_t x = end; x < n; ++x)
        out[x] = in[Mirror(x0 + x, raw.width)] * (1.0f / 255);
}

inline void ToLevels(const float* __restrict in, uint8_t* __restrict out, std::ptrdiff_t n) {
    for (std::ptrdiff_t x = 0; x < n; ++x)
        out[x] = static_cast<uint8_t>(static_cast<int>(Clamp01(in[x]) * 255 + 0.5f));
}

// Where a tile lies in the image: its interior of w x h pixels at (x, y), and the width of the mirrored
// border around it in the tile's planes.
struct TilePlace {
    std::ptrdiff_t x, y, w, h, pad;
};

// Fills the tile's plane of raw samples (cfa, tile.width x tile.height).
void LoadTile(const RawImage& raw, const TilePlace& place, const Tile& tile, float* cfa);
// Writes the interior of a tile's result into the image, bottom-up, through the tables; row8 holds
// 3 x place.w bytes.
void StoreTile(const RawImage& raw, const TilePlace& place, const Tile& tile, const TileResult& rgb,
               uint8_t* pDst, const PackedLut& lut, uint8_t* row8);

// Cuts the image into tiles of tileSize (an even number, so every tile starts on the same Bayer
// phase), gives each one padded by `pad` (even) mirrored samples to `algo` together with `planes`
// scratch planes of the padded tile's size, and writes the interior of the planes that algo returns.
// The tiles are independent of each other and of the order they run in, so the pool's threads share
// them out and the result is the same for any number of threads. Without a pool (while the process
// shuts down) the calling thread converts them all with memory of its own.
template <typename Algo>
void ConvertTiled(const RawImage& raw, uint8_t* pDst, const PackedLut& lut, WorkerPool* pool,
                  std::ptrdiff_t tileSize, std::ptrdiff_t pad, int planes, Algo algo) {
    const std::ptrdiff_t step = std::max<std::ptrdiff_t>(2, tileSize & ~std::ptrdiff_t{1});
    const std::ptrdiff_t tileW = std::min(step, raw.width) + 2 * pad;
    const std::ptrdiff_t tileH = std::min(step, raw.height) + 2 * pad;
    const std::ptrdiff_t planeSize = tileW * tileH;
    const std::ptrdiff_t columns = (raw.width + step - 1) / step, rows = (raw.height + step - 1) / step;
    const auto floats = static_cast<std::size_t>(planeSize * (planes + 1));
    const auto bytes = static_cast<std::size_t>(3 * step);

    auto convertTile = [&](std::ptrdiff_t index, WorkerPool::Memory memory) {
        TilePlace place{index % columns * step, index / columns * step, 0, 0, pad};
        place.w = std::min(step, raw.width - place.x);
        place.h = std::min(step, raw.height - place.y);
        float* cfa = memory.floats;
        float* scratch[16];
        for (int k = 0; k < planes && k < 16; ++k)
            scratch[k] = cfa + planeSize * (k + 1);
        const Tile tile{place.w + 2 * pad, place.h + 2 * pad, raw.pattern, cfa};
        LoadTile(raw, place, tile, cfa);
        StoreTile(raw, place, tile, algo(tile, scratch), pDst, lut, memory.bytes);
    };
    if (pool) {
        pool->Run(columns * rows, floats, bytes, convertTile);
        return;
    }
    auto memory = std::make_unique_for_overwrite<float[]>(floats);
    auto row8 = std::make_unique_for_overwrite<uint8_t[]>(bytes);
    for (std::ptrdiff_t index = 0; index < columns * rows; ++index)
        convertTile(index, {memory.get(), row8.get()});
}

} // namespace pixconv
