// Bad pixels from a frame taken with the lens covered.
//
// A pixel is hot when it stands more than a threshold T above the frame's dark level (the median of the
// whole frame) and above all but the brightest of its eight same-colour neighbours and of its eight
// immediate neighbours of any colour. Comparing with the neighbours keeps the details of a scene that
// is not quite dark (edges, corners, small highlights) from being taken for defects, since light never
// falls on one pixel alone; leaving out the brightest neighbour keeps two defects side by side from
// hiding each other. A pixel is dead (stuck dark) when it stands T below all of these, leaving out the
// darkest neighbour. A dark frame shows a dead pixel only when the sensor's dark level lies more than T
// above zero; a frame of a uniformly lit surface shows both kinds. A dark frame shows a dead pixel
// only when the sensor's dark level lies more than T above zero; otherwise only hot pixels are found.
//
// T is eight times the spread of the frame's pixels around the medians of their same-colour
// neighbours (1.4826 times the median absolute deviation, the standard deviation of normal noise),
// and at least 16 levels, so neither temporal noise nor the sensor's per-pixel offsets are taken for
// defects.
#include "BayerPattern.h"
#include "PixConv.h"
#include "Region.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>

using namespace pixconv;

namespace {

constexpr int kMinThreshold = 16;
constexpr double kSpreads = 8.0;

int Median8(std::array<int, 8> v) {
    std::nth_element(v.begin(), v.begin() + 4, v.end());
    const int upper = v[4];
    const int lower = *std::max_element(v.begin(), v.begin() + 4);
    return (lower + upper + 1) / 2;
}

// The level below which half of the histogram's samples lie.
int HistogramMedian(const std::array<std::size_t, 256>& histogram, std::size_t count) {
    std::size_t seen = 0;
    for (int i = 0; i < 256; ++i) {
        seen += histogram[i];
        if (2 * seen >= count)
            return i;
    }
    return 255;
}

} // namespace

int DetectDeadPixel(const uint8_t* pSrc, uint8_t* pMap, int nFullWidth, int nFullHeight) {
    if (!pSrc || !pMap || !ValidFrame(nFullWidth, nFullHeight))
        return 0;
    const std::ptrdiff_t w = nFullWidth, h = nFullHeight;
    auto at = [&](std::ptrdiff_t x, std::ptrdiff_t y) { return int{pSrc[Mirror(y, h) * w + Mirror(x, w)]}; };

    // The map holds each pixel's same-colour median until the pixel's mark replaces it, so that
    // detection needs no memory of its own.
    std::array<std::size_t, 256> levels{}, deviations{};
    uint8_t* sameMedian = pMap;
    for (std::ptrdiff_t y = 0; y < h; ++y) {
        for (std::ptrdiff_t x = 0; x < w; ++x) {
            const int v = at(x, y);
            const int m = Median8({at(x - 2, y - 2), at(x, y - 2), at(x + 2, y - 2), at(x - 2, y),
                                   at(x + 2, y), at(x - 2, y + 2), at(x, y + 2), at(x + 2, y + 2)});
            sameMedian[y * w + x] = static_cast<uint8_t>(m);
            ++levels[v];
            ++deviations[std::abs(v - m)];
        }
    }
    const std::size_t count = static_cast<std::size_t>(w * h);
    const int dark = HistogramMedian(levels, count);
    const double spread = 1.4826 * HistogramMedian(deviations, count);
    const int threshold = std::max(kMinThreshold, static_cast<int>(std::ceil(kSpreads * spread)));

    for (std::ptrdiff_t y = 0; y < h; ++y) {
        for (std::ptrdiff_t x = 0; x < w; ++x) {
            const int v = at(x, y);
            const int same = sameMedian[y * w + x];
            uint8_t mark = PIX_PIXEL_GOOD;
            if (std::abs(v - same) > threshold && std::abs(v - dark) > threshold) {
                std::array<int, 8> near = {at(x - 1, y - 1), at(x, y - 1),    at(x + 1, y - 1),
                                           at(x - 1, y),     at(x + 1, y),    at(x - 1, y + 1),
                                           at(x, y + 1),     at(x + 1, y + 1)};
                std::array<int, 8> sameColour = {at(x - 2, y - 2), at(x, y - 2),    at(x + 2, y - 2),
                                                 at(x - 2, y),     at(x + 2, y),    at(x - 2, y + 2),
                                                 at(x, y + 2),     at(x + 2, y + 2)};
                std::sort(near.begin(), near.end());
                std::sort(sameColour.begin(), sameColour.end());
                if (v > std::max({sameColour[6], dark, near[6]}) + threshold)
                    mark = PIX_PIXEL_HOT;
                else if (v < std::min({sameColour[1], dark, near[1]}) - threshold)
                    mark = PIX_PIXEL_DEAD;
            }
            pMap[y * w + x] = mark;
        }
    }
    return 1;
}

int EraseDeadPixel(uint8_t* pRaw, const uint8_t* pMap, int nLeft, int nTop, int nWidth, int nHeight,
                   int nFullWidth, int nFullHeight) {
    if (!pRaw || !pMap || !ValidRegion(nLeft, nTop, nWidth, nHeight, nFullWidth, nFullHeight))
        return 0;
    const std::ptrdiff_t w = nWidth, h = nHeight, fullW = nFullWidth;
    auto good = [&](std::ptrdiff_t x, std::ptrdiff_t y) {
        return x >= 0 && y >= 0 && x < w && y < h && pMap[(nTop + y) * fullW + nLeft + x] == PIX_PIXEL_GOOD;
    };
    // Marked pixels are only written and good ones only read, so the order of the repairs does not
    // matter. The repair interpolates along the flattest of the four directions through the pixel
    // whose both same-colour samples are good, or averages whatever good samples there are.
    static constexpr int kPairs[4][2] = {{2, 0}, {0, 2}, {2, 2}, {2, -2}};
    for (std::ptrdiff_t y = 0; y < h; ++y) {
        const uint8_t* mapRow = pMap + (nTop + y) * fullW + nLeft;
        for (std::ptrdiff_t x = 0; x < w; ++x) {
            if (mapRow[x] == PIX_PIXEL_GOOD)
                continue;
            int best = -1, bestStep = 256, sum = 0, n = 0;
            for (const auto& d : kPairs) {
                const bool a = good(x - d[0], y - d[1]), b = good(x + d[0], y + d[1]);
                const int va = a ? pRaw[(y - d[1]) * w + x - d[0]] : 0;
                const int vb = b ? pRaw[(y + d[1]) * w + x + d[0]] : 0;
                sum += va + vb;
                n += a + b;
                if (a && b && std::abs(va - vb) < bestStep) {
                    bestStep = std::abs(va - vb);
                    best = (va + vb + 1) / 2;
                }
            }
            if (best >= 0)
                pRaw[y * w + x] = static_cast<uint8_t>(best);
            else if (n > 0)
                pRaw[y * w + x] = static_cast<uint8_t>((sum + n / 2) / n);
        }
    }
    return 1;
}
