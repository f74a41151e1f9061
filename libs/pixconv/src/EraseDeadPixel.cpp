// Repair of the marked pixels of a region from the nearest good samples of their own colour.
//
// Along each of the four directions through a marked pixel (the row, the column and the two diagonals,
// in steps that keep the Bayer colour), the nearest good sample inside the region is sought on either
// side, up to kReach steps away. Where both sides of a direction have one, the pixel is interpolated
// between them by distance; of those directions the one spanning the fewest steps wins, and of equally
// short ones the flattest. So an isolated defect is repaired along the flattest of its four directions,
// and a pixel inside a cluster or a bad line from the closest good pixels around it. Where no direction
// has good samples on both sides (a region's corner), the nearest good samples found are averaged.
//
// Marked pixels are only written and good ones only read, so the order of the repairs does not matter.
#include "PixConv.h"
#include "Region.h"

#include <cstddef>
#include <cstdlib>
#include <initializer_list>

using namespace pixconv;

namespace {

constexpr int kReach = 8; // steps of two pixels on each side
constexpr int kDirections[4][2] = {{2, 0}, {0, 2}, {2, 2}, {2, -2}};

struct Region {
    uint8_t* raw;
    const uint8_t* map; // at the region's top left corner
    std::ptrdiff_t w, h, mapStride;

    // The nearest good sample from (x, y) in steps of (dx, dy): its value and its distance in steps,
    // or 0 steps when there is none within reach.
    struct Found {
        int value = 0, steps = 0;
    };
    Found Nearest(std::ptrdiff_t x, std::ptrdiff_t y, int dx, int dy) const {
        for (int k = 1; k <= kReach; ++k) {
            const std::ptrdiff_t xk = x + k * dx, yk = y + k * dy;
            if (xk < 0 || yk < 0 || xk >= w || yk >= h)
                break;
            if (map[yk * mapStride + xk] == PIX_PIXEL_GOOD)
                return {raw[yk * w + xk], k};
        }
        return {};
    }

    void Repair(std::ptrdiff_t x, std::ptrdiff_t y) const {
        int best = -1, bestSpan = 0, bestStep = 0;
        int sum = 0, count = 0, nearest = kReach + 1;
        for (const auto& d : kDirections) {
            const Found a = Nearest(x, y, -d[0], -d[1]), b = Nearest(x, y, d[0], d[1]);
            if (a.steps > 0 && b.steps > 0) {
                const int span = a.steps + b.steps, step = std::abs(a.value - b.value);
                if (best < 0 || span < bestSpan || (span == bestSpan && step < bestStep)) {
                    best = (a.value * b.steps + b.value * a.steps + span / 2) / span;
                    bestSpan = span;
                    bestStep = step;
                }
            }
            for (const Found& f : {a, b}) {
                if (f.steps == 0 || f.steps > nearest)
                    continue;
                if (f.steps < nearest) {
                    nearest = f.steps;
                    sum = count = 0;
                }
                sum += f.value;
                ++count;
            }
        }
        if (best >= 0)
            raw[y * w + x] = static_cast<uint8_t>(best);
        else if (count > 0)
            raw[y * w + x] = static_cast<uint8_t>((sum + count / 2) / count);
    }
};

} // namespace

int EraseDeadPixel(uint8_t* pRaw, const uint8_t* pMap, int nLeft, int nTop, int nWidth, int nHeight,
                   int nFullWidth, int nFullHeight) {
    if (!pRaw || !pMap || !ValidRegion(nLeft, nTop, nWidth, nHeight, nFullWidth, nFullHeight))
        return 0;
    const std::ptrdiff_t fullW = nFullWidth;
    const Region region{pRaw, pMap + nTop * fullW + nLeft, nWidth, nHeight, fullW};
    for (std::ptrdiff_t y = 0; y < region.h; ++y) {
        const uint8_t* mapRow = region.map + y * fullW;
        for (std::ptrdiff_t x = 0; x < region.w; ++x)
            if (mapRow[x] != PIX_PIXEL_GOOD)
                region.Repair(x, y);
    }
    return 1;
}
