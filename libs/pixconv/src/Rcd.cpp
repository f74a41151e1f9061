// Ratio-corrected demosaicing (RCD v2.3 by Luis Sanz Rodriguez): green from cardinal estimates scaled
// by the ratio of a low-pass image, blended between the vertical and horizontal directions by a
// high-pass discrimination map; red and blue from colour differences along the diagonals and then the
// cardinal directions, weighted by inverse gradients.
#include "Rcd.h"

#include <algorithm>

namespace pixconv {
namespace rcd {
namespace {

PIXCONV_ROW_KERNEL void HighPassRow(const float* __restrict c, float* __restrict a, float* __restrict b,
                                    std::ptrdiff_t n, std::ptrdiff_t sa, std::ptrdiff_t sb) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        a[k] = HighPassSquared(c + k, sa);
        b[k] = HighPassSquared(c + k, sb);
    }
}

// a / (a + b) of the high-pass energies summed over three samples along each one's own direction.
PIXCONV_ROW_KERNEL void DiscriminationRow(const float* __restrict a, const float* __restrict b,
                                          float* __restrict out, std::ptrdiff_t n, std::ptrdiff_t sa,
                                          std::ptrdiff_t sb) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        float ea = a[k - sa] + a[k] + a[k + sa];
        float eb = b[k - sb] + b[k] + b[k + sb];
        ea = ea > kEpsSq ? ea : kEpsSq;
        eb = eb > kEpsSq ? eb : kEpsSq;
        out[k] = ea / (ea + eb);
    }
}

// At red and blue sites: the other of the two from its four diagonal neighbours. Own samples are
// copied into the own plane on the way. Green sites get values here too, which the next step replaces.
PIXCONV_ROW_KERNEL void DiagonalRow(const float* __restrict c, const float* __restrict g,
                                    const float* __restrict pq, float* __restrict own,
                                    float* __restrict other, std::ptrdiff_t n, std::ptrdiff_t w) {
    const std::ptrdiff_t nw = -w - 1, ne = -w + 1, sw = w - 1, se = w + 1;
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        const float* ck = c + k;
        const float* gk = g + k;
        auto grad = [&](std::ptrdiff_t s) {
            return kEps + Abs(ck[s] - ck[-s]) + Abs(ck[s] - ck[3 * s]) + Abs(gk[0] - gk[2 * s]);
        };
        auto est = [&](std::ptrdiff_t s) { return ck[s] - gk[s]; };
        const float disc = Refined(pq + k, w);
        const float gNW = grad(nw), gNE = grad(ne), gSW = grad(sw), gSE = grad(se);
        const float p = (gNW * est(se) + gSE * est(nw)) / (gNW + gSE);
        const float q = (gNE * est(sw) + gSW * est(ne)) / (gNE + gSW);
        other[k] = Clamp01(gk[0] + (1 - disc) * p + disc * q);
        own[k] = ck[0];
    }
}

// At green sites, one colour from its four cardinal neighbours, which are all known by now; red and
// blue sites keep their value.
PIXCONV_ROW_KERNEL void CardinalRow(const float* __restrict g, const float* __restrict vh,
                                    const float* __restrict col, float* __restrict out, std::ptrdiff_t n,
                                    std::ptrdiff_t w, int p) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        const float* gk = g + k;
        const float* ck = col + k;
        auto grad = [&](std::ptrdiff_t s) {
            return kEps + Abs(gk[0] - gk[2 * s]) + Abs(ck[s] - ck[-s]) + Abs(ck[s] - ck[3 * s]);
        };
        auto est = [&](std::ptrdiff_t s) { return ck[s] - gk[s]; };
        const float disc = Refined(vh + k, w);
        const float gN = grad(-w), gS = grad(w), gW = grad(-1), gE = grad(1);
        const float v = (gN * est(w) + gS * est(-w)) / (gN + gS);
        const float h = (gW * est(1) + gE * est(-1)) / (gW + gE);
        const float own = ck[0], interpolated = Clamp01(gk[0] + (1 - disc) * v + disc * h);
        out[k] = IsColourSite(k, p) ? own : interpolated;
    }
}

// Green sites keep their sample; at red and blue sites the sample plus the blended colour differences
// of the cardinal neighbours, whose green is their sample.
PIXCONV_ROW_KERNEL void RefineGreenRow(const float* __restrict c, const float* __restrict own,
                                       const float* __restrict vh, float* __restrict g, std::ptrdiff_t n,
                                       std::ptrdiff_t w, int p) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        const float* ck = c + k;
        const float* ok = own + k;
        const float h = 0.5f * (ck[-1] - ok[-1] + ck[1] - ok[1]);
        const float v = 0.5f * (ck[-w] - ok[-w] + ck[w] - ok[w]);
        const float disc = Refined(vh + k, w);
        const float refined = Clamp01(ck[0] + (1 - disc) * v + disc * h);
        g[k] = IsColourSite(k, p) ? refined : ck[0];
    }
}

// The weighted mean of four colour differences d with weights share / q (q the squared gradients), with a
// single division instead of five: numerator and denominator are both multiplied by the product of the
// four q, so that each term carries the product of the other three. The gradients lie between 1/255 and
// 5, so that the products stay normal floats.
struct Term {
    float d, share, q;
};

PIXCONV_ROW_KERNEL float WeightedMean4(Term a, Term b, Term c, Term d) {
    const float ab = a.q * b.q, cd = c.q * d.q;
    const float wa = a.share * (b.q * cd), wb = b.share * (a.q * cd);
    const float wc = c.share * (d.q * ab), wd = d.share * (c.q * ab);
    return (wa * a.d + wb * b.d + wc * c.d + wd * d.d) / (wa + wb + wc + wd);
}

// The weighted mean of a - b over a site's four cardinal neighbours (a being the samples): each neighbour
// counts by its direction's share by the map and by the inverse square of the gradient towards it, so that a
// neighbour across an edge hardly counts.
PIXCONV_ROW_KERNEL float CardinalDifference(const float* a, const float* b, const float* vh,
                                            std::ptrdiff_t w) {
    const float disc = Refined(vh, w);
    auto cardinal = [&](std::ptrdiff_t s, float share) {
        const float d = a[s] - b[s];
        return Term{d, share, SquaredGradient(a, s, d, a[3 * s] - b[3 * s])};
    };
    return WeightedMean4(cardinal(-w, 1 - disc), cardinal(w, 1 - disc), cardinal(-1, disc),
                         cardinal(1, disc));
}

// At red and blue sites the sample plus the weighted colour differences green - own colour of its four
// green neighbours, whose own colour the red and blue step interpolated from real samples.
PIXCONV_ROW_KERNEL void RefineGreenWeightedRow(const float* __restrict c, const float* __restrict own,
                                               const float* __restrict vh, float* __restrict g,
                                               std::ptrdiff_t n, std::ptrdiff_t w, int p) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        const float refined = Clamp01(c[k] + CardinalDifference(c + k, own + k, vh + k, w));
        g[k] = IsColourSite(k, p) ? refined : c[k];
    }
}

// At red and blue sites, the other colour: 0.7 of the refined green plus the weighted colour differences
// other - green of the four green neighbours, 0.3 of the diagonal estimate the site holds.
PIXCONV_ROW_KERNEL void CrossColourRow(const float* __restrict c, const float* __restrict g,
                                       const float* __restrict other, const float* __restrict vh,
                                       float* __restrict out, std::ptrdiff_t n, std::ptrdiff_t w, int p) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        // The green neighbours' samples are green: other - green is minus their green - other.
        const float fromCardinal = Clamp01(g[k] - CardinalDifference(c + k, other + k, vh + k, w));
        out[k] = IsColourSite(k, p) ? 0.7f * fromCardinal + 0.3f * other[k] : other[k];
    }
}

} // namespace

PIXCONV_VECTOR_CLONES void RefineGreen(const Tile& t, const float* red, const float* blue, const float* vhDir,
                                       std::ptrdiff_t rbMargin, float* g) {
    const std::ptrdiff_t w = t.width;
    for (std::ptrdiff_t y = rbMargin + 1; y < t.height - (rbMargin + 1); ++y) {
        const auto row = t.Row(y, rbMargin + 1);
        const bool bRedRow = (y & 1) == t.pattern.redY;
        RefineGreenRow(t.cfa + row.i, (bRedRow ? red : blue) + row.i, vhDir + row.i, g + row.i, row.n, w,
                       row.p);
    }
}

PIXCONV_VECTOR_CLONES void RefineGreenWeighted(const Tile& t, const float* red, const float* blue,
                                               const float* vhDir, std::ptrdiff_t rbMargin, float* g) {
    const std::ptrdiff_t w = t.width;
    for (std::ptrdiff_t y = rbMargin + 3; y < t.height - (rbMargin + 3); ++y) {
        const auto row = t.Row(y, rbMargin + 3);
        const bool bRedRow = (y & 1) == t.pattern.redY;
        RefineGreenWeightedRow(t.cfa + row.i, (bRedRow ? red : blue) + row.i, vhDir + row.i, g + row.i, row.n,
                               w, row.p);
    }
}

PIXCONV_VECTOR_CLONES void RefineCrossColour(const Tile& t, const float* g, const float* vhDir,
                                             std::ptrdiff_t rbMargin, float* red, float* blue,
                                             float* rowBuf) {
    const std::ptrdiff_t w = t.width;
    // Each row changes only its own sites of one plane and reads that plane in the rows above and below
    // at green sites, which no row changes.
    for (std::ptrdiff_t y = rbMargin + 3; y < t.height - (rbMargin + 3); ++y) {
        const auto row = t.Row(y, rbMargin + 3);
        float* other = ((y & 1) == t.pattern.redY ? blue : red) + row.i;
        CrossColourRow(t.cfa + row.i, g + row.i, other, vhDir + row.i, rowBuf, row.n, w, row.p);
        std::copy(rowBuf, rowBuf + row.n, other);
    }
}

PIXCONV_VECTOR_CLONES void Directions(const Tile& t, float* vhDir, float* bufV, float* bufH) {
    const std::ptrdiff_t w = t.width;
    for (std::ptrdiff_t y = 3; y < t.height - 3; ++y) {
        const auto row = t.Row(y, 3);
        HighPassRow(t.cfa + row.i, bufV + row.i, bufH + row.i, row.n, w, 1);
    }
    for (std::ptrdiff_t y = 4; y < t.height - 4; ++y) {
        const auto row = t.Row(y, 4);
        DiscriminationRow(bufV + row.i, bufH + row.i, vhDir + row.i, row.n, w, 1);
    }
}

PIXCONV_VECTOR_CLONES void RedBlue(const Tile& t, const float* g, const float* vhDir,
                                   std::ptrdiff_t greenMargin, float* red, float* blue, float* pqDir,
                                   float* bufP, float* bufQ) {
    const std::ptrdiff_t w = t.width;
    const float* c = t.cfa;
    for (std::ptrdiff_t y = 3; y < t.height - 3; ++y) {
        const auto row = t.Row(y, 3);
        HighPassRow(c + row.i, bufP + row.i, bufQ + row.i, row.n, w + 1, w - 1);
    }
    for (std::ptrdiff_t y = 4; y < t.height - 4; ++y) {
        const auto row = t.Row(y, 4);
        DiscriminationRow(bufP + row.i, bufQ + row.i, pqDir + row.i, row.n, w + 1, w - 1);
    }

    const std::ptrdiff_t diagonalMargin = greenMargin + 2;
    for (std::ptrdiff_t y = diagonalMargin; y < t.height - diagonalMargin; ++y) {
        const std::ptrdiff_t i = y * w + diagonalMargin;
        const bool bRedRow = (y & 1) == t.pattern.redY;
        DiagonalRow(c + i, g + i, pqDir + i, (bRedRow ? red : blue) + i, (bRedRow ? blue : red) + i,
                    w - 2 * diagonalMargin, w);
    }
    // Red and blue at green sites go through bufP, one row at a time, so that the pass never reads
    // what it has just written.
    for (std::ptrdiff_t y = greenMargin + 5; y < t.height - (greenMargin + 5); ++y) {
        const auto row = t.Row(y, greenMargin + 5);
        for (float* col : {red, blue}) {
            CardinalRow(g + row.i, vhDir + row.i, col + row.i, bufP, row.n, w, row.p);
            std::copy(bufP, bufP + row.n, col + row.i);
        }
    }
}

namespace {

PIXCONV_ROW_KERNEL void LowPassRow(const float* __restrict c, float* __restrict lpf, std::ptrdiff_t n,
                                   std::ptrdiff_t w) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        const float* ck = c + k;
        lpf[k] = 0.25f * ck[0] + 0.125f * (ck[-w] + ck[w] + ck[-1] + ck[1]) +
                 0.0625f * (ck[-w - 1] + ck[-w + 1] + ck[w - 1] + ck[w + 1]);
    }
}

// Green at red and blue sites: the cardinal neighbours scaled by the local low-pass ratio, blended by
// the direction map.
PIXCONV_ROW_KERNEL void GreenRow(const float* __restrict c, const float* __restrict lpf,
                                 const float* __restrict vh, float* __restrict g, std::ptrdiff_t n,
                                 std::ptrdiff_t w, int p) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        const float* ck = c + k;
        const float* lk = lpf + k;
        auto grad = [&](std::ptrdiff_t s) {
            return kEps + Abs(ck[s] - ck[-s]) + Abs(ck[0] - ck[2 * s]) + Abs(ck[s] - ck[3 * s]) +
                   Abs(ck[2 * s] - ck[4 * s]);
        };
        auto est = [&](std::ptrdiff_t s) { return ck[s] * (2 * lk[0]) / (kEps + lk[0] + lk[2 * s]); };
        const float disc = Refined(vh + k, w);
        const float gN = grad(-w), gS = grad(w), gW = grad(-1), gE = grad(1);
        const float v = (gS * est(-w) + gN * est(w)) / (gN + gS);
        const float h = (gE * est(-1) + gW * est(1)) / (gW + gE);
        g[k] = IsColourSite(k, p) ? Clamp01(disc * h + (1 - disc) * v) : ck[0];
    }
}

} // namespace

PIXCONV_VECTOR_CLONES void Green(const Tile& t, const float* vhDir, float* lpf, float* g) {
    const std::ptrdiff_t w = t.width;
    for (std::ptrdiff_t y = 1; y < t.height - 1; ++y) {
        const auto row = t.Row(y, 1);
        LowPassRow(t.cfa + row.i, lpf + row.i, row.n, w);
    }
    for (std::ptrdiff_t y = 5; y < t.height - 5; ++y) {
        const auto row = t.Row(y, 5);
        GreenRow(t.cfa + row.i, lpf + row.i, vhDir + row.i, g + row.i, row.n, w, row.p);
    }
}

} // namespace rcd

namespace {

TileResult RcdTile(const Tile& t, float* const* planes) {
    float* vhDir = planes[0];
    float* lpf = planes[1];
    float* g = planes[2];
    float* r = planes[3];
    float* b = planes[4];
    rcd::Directions(t, vhDir, planes[5], planes[6]);
    rcd::Green(t, vhDir, lpf, g);
    rcd::RedBlue(t, g, vhDir, 5, r, b, lpf, planes[5], planes[6]);
    // The first green has done its work for red and blue, which follow it best; the refined one, from
    // red and blue, is closer to the truth at red and blue sites.
    rcd::RefineGreen(t, r, b, vhDir, 10, g);
    return {r, g, b};
}

} // namespace

void ConvertRcd(const RawImage& raw, uint8_t* pDst, const PackedLut& lut, WorkerPool* pool,
                std::ptrdiff_t tileSize) {
    ConvertTiled(raw, pDst, lut, pool, tileSize, 12, 7, RcdTile);
}

} // namespace pixconv
