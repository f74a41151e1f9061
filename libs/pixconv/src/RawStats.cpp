// Statistics of a frame for the viewer's exposure and focus aids: histograms per Bayer channel and of
// the displayed brightness, and a sharpness measure of the green samples.
//
// They run a few times a second beside the live picture, so each is one pass over the pixels that keeps
// its counts on the stack. A histogram's counter of a level that repeats (a flat field, a clipped
// highlight) would be read right after it was written, which stalls the processor on every sample, so
// neighbouring samples count into separate copies that are added up at the end.
#include "BayerPattern.h"
#include "PixConv.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

namespace {

using Counts = std::array<uint32_t, 256>;

constexpr int kCopies = 2;

// The raw-image channel (PIX_CHANNEL_*) of the sample at (x, y), for x and y of either parity.
int RawChannel(const pixconv::BayerPattern& bayer, int x, int y) {
    const bool redColumn = (x & 1) == bayer.redX;
    const bool redRow = (y & 1) == bayer.redY;
    if (redRow)
        return redColumn ? PIX_CHANNEL_R : PIX_CHANNEL_GR;
    return redColumn ? PIX_CHANNEL_GB : PIX_CHANNEL_B;
}

// Brightness of blue, green, red: Rec. 601 luma in 256ths, whose weights add up to 256 so that a gray
// (v, v, v) keeps its level v.
inline uint8_t Luma(const uint8_t* bgr) {
    return static_cast<uint8_t>((77u * bgr[2] + 150u * bgr[1] + 29u * bgr[0]) >> 8);
}

using Bytes16 = uint8_t __attribute__((vector_size(16)));
using Words16 = uint16_t __attribute__((vector_size(32)));

// The luma of n pixels. The vectoriser does not take three-byte pixels apart, so sixteen at a time are
// gathered by byte shuffles into a blue, a green and a red vector (from the first 32 bytes, then the last
// 16), weighed in 16 bits and narrowed. __builtin_shufflevector: both GCC (from 12) and clang know it.
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("default", "ssse3")))
#endif
void LumaRun(const uint8_t* bgr, uint8_t* out, std::size_t n) {
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        Bytes16 v0, v1, v2;
        std::memcpy(&v0, bgr + 3 * i, 16);
        std::memcpy(&v1, bgr + 3 * i + 16, 16);
        std::memcpy(&v2, bgr + 3 * i + 32, 16);
        // Indices count through both vectors given; -1: any byte.
        const Bytes16 b = __builtin_shufflevector(
            __builtin_shufflevector(v0, v1, 0, 3, 6, 9, 12, 15, 18, 21, 24, 27, 30, -1, -1, -1, -1, -1), v2,
            0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 17, 20, 23, 26, 29);
        const Bytes16 g = __builtin_shufflevector(
            __builtin_shufflevector(v0, v1, 1, 4, 7, 10, 13, 16, 19, 22, 25, 28, 31, -1, -1, -1, -1, -1), v2,
            0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 18, 21, 24, 27, 30);
        const Bytes16 r = __builtin_shufflevector(
            __builtin_shufflevector(v0, v1, 2, 5, 8, 11, 14, 17, 20, 23, 26, 29, -1, -1, -1, -1, -1, -1), v2,
            0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 16, 19, 22, 25, 28, 31);
        const Words16 y =
            (__builtin_convertvector(r, Words16) * 77 + __builtin_convertvector(g, Words16) * 150 +
             __builtin_convertvector(b, Words16) * 29) >>
            8;
        const Bytes16 levels = __builtin_convertvector(y, Bytes16);
        std::memcpy(out + i, &levels, 16);
    }
    for (; i < n; ++i)
        out[i] = Luma(bgr + 3 * i);
}

} // namespace

int GetRawHistograms(const uint8_t* pRaw, int nWidth, int nHeight, int nLayout, uint32_t* pHistograms) {
    if (!pRaw || !pHistograms || nWidth <= 0 || nHeight <= 0)
        return 0;
    const pixconv::BayerPattern bayer = pixconv::BayerPattern::FromLayout(nLayout);
    // Per channel, kCopies counters for each level; even and odd columns of a row are of two channels.
    std::array<std::array<Counts, kCopies>, 4> counts{};
    const auto width = static_cast<std::size_t>(nWidth);
    for (int y = 0; y < nHeight; ++y) {
        const uint8_t* row = pRaw + static_cast<std::size_t>(y) * width;
        std::array<Counts, kCopies>& even = counts[static_cast<std::size_t>(RawChannel(bayer, 0, y))];
        std::array<Counts, kCopies>& odd = counts[static_cast<std::size_t>(RawChannel(bayer, 1, y))];
        std::size_t x = 0;
        for (; x + 4 <= width; x += 4) {
            ++even[0][row[x]];
            ++odd[0][row[x + 1]];
            ++even[1][row[x + 2]];
            ++odd[1][row[x + 3]];
        }
        for (; x < width; ++x)
            ++((x & 1) ? odd : even)[0][row[x]];
    }
    for (std::size_t c = 0; c < 4; ++c)
        for (std::size_t level = 0; level < 256; ++level)
            pHistograms[c * 256 + level] = counts[c][0][level] + counts[c][1][level];
    return 1;
}

int GetBrightnessHistogram(const uint8_t* pImage, int nWidth, int nHeight, int nStride, int nBitCount,
                           uint32_t* pHistogram) {
    if (!pImage || !pHistogram || nWidth <= 0 || nHeight <= 0 || (nBitCount != 8 && nBitCount != 24))
        return 0;
    const auto width = static_cast<std::size_t>(nWidth);
    const std::size_t bytesPerPixel = static_cast<std::size_t>(nBitCount / 8);
    if (nStride < 0 || static_cast<std::size_t>(nStride) < width * bytesPerPixel)
        return 0;
    // Four copies: a picture's large even areas give long runs of one level.
    std::array<Counts, 4> counts{};
    // The levels of a run of pixels first, then their counts.
    constexpr std::size_t kChunk = 128;
    std::array<uint8_t, kChunk> levels;
    for (int y = 0; y < nHeight; ++y) {
        const uint8_t* row = pImage + static_cast<std::size_t>(y) * static_cast<std::size_t>(nStride);
        for (std::size_t start = 0; start < width; start += kChunk) {
            const std::size_t n = std::min(kChunk, width - start);
            const uint8_t* chunk = row + start * bytesPerPixel;
            if (bytesPerPixel == 3)
                LumaRun(chunk, levels.data(), n);
            else
                std::memcpy(levels.data(), chunk, n);
            std::size_t i = 0;
            for (; i + 4 <= n; i += 4) {
                ++counts[0][levels[i]];
                ++counts[1][levels[i + 1]];
                ++counts[2][levels[i + 2]];
                ++counts[3][levels[i + 3]];
            }
            for (; i < n; ++i)
                ++counts[0][levels[i]];
        }
    }
    for (std::size_t level = 0; level < 256; ++level)
        pHistogram[level] = counts[0][level] + counts[1][level] + counts[2][level] + counts[3][level];
    return 1;
}

int GetHistogramStats(const uint32_t* pHistogram, double* pdMean, double* pdShareAt0, double* pdShareAt255) {
    if (!pHistogram || !pdMean || !pdShareAt0 || !pdShareAt255)
        return 0;
    uint64_t total = 0;
    uint64_t sum = 0;
    for (uint64_t level = 0; level < 256; ++level) {
        total += pHistogram[level];
        sum += level * pHistogram[level];
    }
    if (total == 0) {
        *pdMean = *pdShareAt0 = *pdShareAt255 = 0.0;
        return 1;
    }
    const auto n = static_cast<double>(total);
    *pdMean = static_cast<double>(sum) / n;
    *pdShareAt0 = pHistogram[0] / n;
    *pdShareAt255 = pHistogram[255] / n;
    return 1;
}

int GetSharpness(const uint8_t* pRaw, int nWidth, int nHeight, int nLeft, int nTop, int nRectWidth,
                 int nRectHeight, int nLayout, double* pdSharpness) {
    if (!pRaw || !pdSharpness || nWidth <= 0 || nHeight <= 0 || nLeft < 0 || nTop < 0 || nRectWidth < 4 ||
        nRectHeight < 4 || nRectWidth > nWidth - nLeft || nRectHeight > nHeight - nTop)
        return 0;
    const pixconv::BayerPattern bayer = pixconv::BayerPattern::FromLayout(nLayout);
    const auto width = static_cast<std::size_t>(nWidth);
    // Samples with both neighbours inside: columns left .. right - 3, rows top .. bottom - 3.
    const int lastX = nLeft + nRectWidth - 3;
    const int lastY = nTop + nRectHeight - 3;
    uint64_t sum = 0;
    uint64_t count = 0;
    for (int y = nTop; y <= lastY; ++y) {
        // Green sits where the column's parity differs from red's on red rows, and equals it on blue rows.
        const int greenParity = ((y & 1) == bayer.redY) ? 1 - bayer.redX : bayer.redX;
        const int firstX = nLeft + (((nLeft & 1) == greenParity) ? 0 : 1);
        const uint8_t* row = pRaw + static_cast<std::size_t>(y) * width;
        const uint8_t* below = row + 2 * width;
        for (int x = firstX; x <= lastX; x += 2) {
            const int g = row[x];
            const int across = row[x + 2] - g;
            const int down = below[x] - g;
            sum += static_cast<uint64_t>(across * across + down * down);
        }
        if (lastX >= firstX)
            count += static_cast<uint64_t>((lastX - firstX) / 2 + 1);
    }
    *pdSharpness = count ? static_cast<double>(sum) / static_cast<double>(count) : 0.0;
    return 1;
}
