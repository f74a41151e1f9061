// Ratio-corrected demosaicing (RCD v2.3 by Luis Sanz Rodriguez): green from cardinal estimates scaled
// by the ratio of a low-pass image, blended between the vertical and horizontal directions by a
// high-pass discrimination map; red and blue from colour differences along the diagonals and then the
// cardinal directions, weighted by inverse gradients.
#include "Rcd.h"

#include <cmath>

namespace pixconv {
namespace rcd {

void Directions(const Tile& t, float* vhDir, float* bufV, float* bufH) {
    const std::ptrdiff_t w = t.width;
    const float* c = t.cfa;
    auto highPass = [c](std::ptrdiff_t i, std::ptrdiff_t s) {
        const float v = (c[i - 3 * s] - c[i - s] - c[i + s] + c[i + 3 * s]) -
                        3 * (c[i - 2 * s] + c[i + 2 * s]) + 6 * c[i];
        return v * v;
    };
    t.ForEach(3, [&](auto, auto, auto i) {
        bufV[i] = highPass(i, w);
        bufH[i] = highPass(i, 1);
    });
    t.ForEach(4, [&](auto, auto, auto i) {
        const float v = std::fmax(kEpsSq, bufV[i - w] + bufV[i] + bufV[i + w]);
        const float h = std::fmax(kEpsSq, bufH[i - 1] + bufH[i] + bufH[i + 1]);
        vhDir[i] = v / (v + h);
    });
}

void RedBlue(const Tile& t, const float* g, const float* vhDir, std::ptrdiff_t greenMargin, float* red,
             float* blue, float* pqDir, float* bufP, float* bufQ) {
    const std::ptrdiff_t w = t.width;
    const float* c = t.cfa;
    float* rgb[3] = {red, nullptr, blue};

    // Diagonal discrimination.
    auto highPass = [c](std::ptrdiff_t i, std::ptrdiff_t s) {
        const float v = (c[i - 3 * s] - c[i - s] - c[i + s] + c[i + 3 * s]) -
                        3 * (c[i - 2 * s] + c[i + 2 * s]) + 6 * c[i];
        return v * v;
    };
    t.ForEach(3, [&](auto, auto, auto i) {
        bufP[i] = highPass(i, w + 1);
        bufQ[i] = highPass(i, w - 1);
    });
    t.ForEachSite(4, false, [&](auto, auto, auto i) {
        const float p = std::fmax(kEpsSq, bufP[i - w - 1] + bufP[i] + bufP[i + w + 1]);
        const float q = std::fmax(kEpsSq, bufQ[i - w + 1] + bufQ[i] + bufQ[i + w - 1]);
        pqDir[i] = p / (p + q);
    });

    // Own samples everywhere; then the other colour at red and blue sites, from its diagonal samples.
    t.ForEachSite(0, false, [&](auto x, auto y, auto i) { rgb[t.pattern.At(x, y)][i] = c[i]; });
    t.ForEachSite(greenMargin + 2, false, [&](auto x, auto y, auto i) {
        const float disc = Refined(pqDir, i, w);
        auto grad = [&](std::ptrdiff_t s) {
            return kEps + std::fabs(c[i + s] - c[i - s]) + std::fabs(c[i + s] - c[i + 3 * s]) +
                   std::fabs(g[i] - g[i + 2 * s]);
        };
        auto est = [&](std::ptrdiff_t s) { return c[i + s] - g[i + s]; };
        const std::ptrdiff_t nw = -w - 1, ne = -w + 1, sw = w - 1, se = w + 1;
        const float gNW = grad(nw), gNE = grad(ne), gSW = grad(sw), gSE = grad(se);
        const float p = (gNW * est(se) + gSE * est(nw)) / (gNW + gSE);
        const float q = (gNE * est(sw) + gSW * est(ne)) / (gNE + gSW);
        const Channel other = t.pattern.At(x, y) == kRed ? kBlue : kRed;
        rgb[other][i] = Clamp01(g[i] + (1 - disc) * p + disc * q);
    });

    // Both colours at green sites, from the now complete red and blue sites around them.
    t.ForEachSite(greenMargin + 5, true, [&](auto, auto, auto i) {
        const float disc = Refined(vhDir, i, w);
        for (float* col : {red, blue}) {
            auto grad = [&](std::ptrdiff_t s) {
                return kEps + std::fabs(g[i] - g[i + 2 * s]) + std::fabs(col[i + s] - col[i - s]) +
                       std::fabs(col[i + s] - col[i + 3 * s]);
            };
            auto est = [&](std::ptrdiff_t s) { return col[i + s] - g[i + s]; };
            const float gN = grad(-w), gS = grad(w), gW = grad(-1), gE = grad(1);
            const float v = (gN * est(w) + gS * est(-w)) / (gN + gS);
            const float h = (gW * est(1) + gE * est(-1)) / (gW + gE);
            col[i] = Clamp01(g[i] + (1 - disc) * v + disc * h);
        }
    });
}

} // namespace rcd

namespace {

// Green at red and blue sites: the cardinal neighbours scaled by the local low-pass ratio, blended by
// the direction map. Valid with margin 5.
void RcdGreen(const Tile& t, const float* vhDir, float* lpf, float* g) {
    using namespace rcd;
    const std::ptrdiff_t w = t.width;
    const float* c = t.cfa;
    t.ForEach(1, [&](auto, auto, auto i) {
        lpf[i] = 0.25f * c[i] + 0.125f * (c[i - w] + c[i + w] + c[i - 1] + c[i + 1]) +
                 0.0625f * (c[i - w - 1] + c[i - w + 1] + c[i + w - 1] + c[i + w + 1]);
    });
    t.ForEachSite(0, true, [&](auto, auto, auto i) { g[i] = c[i]; });
    t.ForEachSite(5, false, [&](auto, auto, auto i) {
        const float disc = Refined(vhDir, i, w);
        auto grad = [&](std::ptrdiff_t s) {
            return kEps + std::fabs(c[i + s] - c[i - s]) + std::fabs(c[i] - c[i + 2 * s]) +
                   std::fabs(c[i + s] - c[i + 3 * s]) + std::fabs(c[i + 2 * s] - c[i + 4 * s]);
        };
        auto est = [&](std::ptrdiff_t s) {
            return c[i + s] * (2 * lpf[i]) / (kEps + lpf[i] + lpf[i + 2 * s]);
        };
        const float gN = grad(-w), gS = grad(w), gW = grad(-1), gE = grad(1);
        const float v = (gS * est(-w) + gN * est(w)) / (gN + gS);
        const float h = (gE * est(-1) + gW * est(1)) / (gW + gE);
        g[i] = Clamp01(disc * h + (1 - disc) * v);
    });
}

TileResult RcdTile(const Tile& t, float* const* planes) {
    float* vhDir = planes[0];
    float* lpf = planes[1];
    float* g = planes[2];
    float* r = planes[3];
    float* b = planes[4];
    rcd::Directions(t, vhDir, planes[5], planes[6]);
    RcdGreen(t, vhDir, lpf, g);
    rcd::RedBlue(t, g, vhDir, 5, r, b, lpf, planes[5], planes[6]);
    return {r, g, b};
}

} // namespace

void ConvertRcd(const RawImage& raw, uint8_t* pDst, const PackedLut& lut) {
    ConvertTiled(raw, pDst, lut, 10, 7, RcdTile);
}

} // namespace pixconv
