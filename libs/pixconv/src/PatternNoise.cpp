// Fixed-pattern noise: the per-pixel offset of a uniformly lit sensor from the mean of its Bayer
// channel, averaged over several frames, and subtracted from later frames.
#include "PixConv.h"
#include "Region.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace pixconv;

namespace {

// An entry holds an offset when it lies within this distance of PIX_TEMPLATE_ZERO. Sums of frames
// stay far below: they would need millions of frames to come near.
constexpr int32_t kMaxOffset = 255 * 16;

bool HoldsOffset(int32_t entry) {
    return entry >= PIX_TEMPLATE_ZERO - kMaxOffset && entry <= PIX_TEMPLATE_ZERO + kMaxOffset;
}

} // namespace

int GetPatternNoise(const uint8_t* pSrc, int32_t* pTemplate, int nFullWidth, int nFullHeight) {
    if (!pSrc || !pTemplate || !ValidFrame(nFullWidth, nFullHeight))
        return 0;
    const std::size_t n = static_cast<std::size_t>(nFullWidth) * static_cast<std::size_t>(nFullHeight);
    for (std::size_t i = 0; i < n; ++i)
        pTemplate[i] += pSrc[i];
    return 1;
}

int AvgPatternNoise(int32_t* pTemplate, int nFullWidth, int nFullHeight, int nFrames) {
    if (!pTemplate || !ValidFrame(nFullWidth, nFullHeight) || nFrames <= 0 || nFrames > (1 << 20))
        return 0;
    const std::ptrdiff_t w = nFullWidth, h = nFullHeight;
    const int64_t maxSum = int64_t{255} * nFrames;
    // The four Bayer channels are the four parity classes of (x, y); the layout does not matter.
    int64_t sums[4] = {};
    int64_t counts[4] = {};
    for (std::ptrdiff_t y = 0; y < h; ++y) {
        for (std::ptrdiff_t x = 0; x < w; ++x) {
            const int32_t v = pTemplate[y * w + x];
            if (v < 0 || v > maxSum)
                return 0; // not a sum of nFrames frames, perhaps a template averaged already
            const int k = static_cast<int>((y & 1) * 2 + (x & 1));
            sums[k] += v;
            ++counts[k];
        }
    }
    double means[4];
    for (int k = 0; k < 4; ++k)
        means[k] = counts[k] ? static_cast<double>(sums[k]) / static_cast<double>(counts[k]) : 0;
    for (std::ptrdiff_t y = 0; y < h; ++y) {
        for (std::ptrdiff_t x = 0; x < w; ++x) {
            int32_t& v = pTemplate[y * w + x];
            const double offset = 16.0 * (v - means[(y & 1) * 2 + (x & 1)]) / nFrames;
            v = PIX_TEMPLATE_ZERO + static_cast<int32_t>(std::lround(offset));
        }
    }
    return 1;
}

int FixPatternNoise(uint8_t* pRaw, const int32_t* pTemplate, int nLeft, int nTop, int nWidth, int nHeight,
                    int nFullWidth, int nFullHeight) {
    if (!pRaw || !pTemplate || !ValidRegion(nLeft, nTop, nWidth, nHeight, nFullWidth, nFullHeight))
        return 0;
    for (std::ptrdiff_t y = 0; y < nHeight; ++y) {
        const int32_t* t = pTemplate + (nTop + y) * std::ptrdiff_t{nFullWidth} + nLeft;
        uint8_t* p = pRaw + y * std::ptrdiff_t{nWidth};
        for (std::ptrdiff_t x = 0; x < nWidth; ++x) {
            // A cleared template, or one still collecting frames, corrects nothing. A saturated sample
            // stands for any level from 255 up: it stays saturated, so highlights do not take on the
            // pattern in reverse.
            if (!HoldsOffset(t[x]) || p[x] == 255)
                continue;
            const int32_t offset = t[x] - PIX_TEMPLATE_ZERO;
            p[x] = static_cast<uint8_t>(std::clamp((16 * p[x] - offset + 8) >> 4, 0, 255));
        }
    }
    return 1;
}
