// Directional linear minimum mean square-error estimation of green (L. Zhang and X. Wu, "Color
// demosaicking via directional linear minimum mean square-error estimation", IEEE TIP 2005), followed
// by the red and blue steps of RCD, then green and the cross colours refined from red and blue.
//
// Along each row and each column the missing colour is first estimated with a Laplacian-corrected
// linear filter, giving a noisy green-minus-colour difference at every sample. A Gaussian low-pass of
// that difference serves as the signal estimate; its local variance and the local variance of the
// residual give the LMMSE weight between the two, and the horizontal and vertical estimates are fused
// by the inverse of their error variances.
//
// Red and blue end as a blend of two interpolations of the same samples: RCD's colour differences
// (green - colour, smooth where the channels move together) and a residual interpolation from the
// refined green (see BlendResidual).
//
// The method assumes that the error of the first estimates is noise, independent of the image. Where
// hard edges lie closer together than its 17-sample reach (test charts, text, machined parts) that
// fails, and the estimate says so itself: its error variance grows. RCD's green, whose ratio
// correction handles such edges well, is therefore fused in as a third estimate with a fixed error
// variance, kRcdVariance. In natural images LMMSE dominates; near dense edges RCD does.
#include "Rcd.h"

#include <cmath>

namespace pixconv {
namespace {

constexpr std::ptrdiff_t kRadius = 4; // of the low-pass filter and of the statistics window
constexpr std::ptrdiff_t kGreenMargin = 2 + 2 * kRadius;
constexpr float kVarEps = 1e-7f;
// The error variance credited to RCD's green: (8 levels)^2 on the 0..1 scale.
constexpr float kRcdVariance = 1e-3f;
// The refinements leave red and blue valid with this margin; the residual blend needs 5 samples more.
constexpr std::ptrdiff_t kRefinedMargin = kGreenMargin + 8;
constexpr std::ptrdiff_t kBestPad = 24;
static_assert(kRefinedMargin + 5 <= kBestPad && kBestPad % 2 == 0);
// The share of the residual interpolation in red and blue. Alone it gains where the photograph is soft and
// loses where it is sharp, since its slope multiplies green's errors; about a third of it gained on every
// set of photographs measured (shares from 0.3 to 0.4 within 0.03 dB of each other).
constexpr float kResidualShare = 0.35f;
constexpr float kSlopeEps = 1e-5f;

struct Gaussian {
    float h[kRadius + 1];
    Gaussian() {
        float sum = 0;
        for (int k = 0; k <= kRadius; ++k) {
            h[k] = std::exp(-float(k * k) / 8); // sigma 2
            sum += k == 0 ? h[k] : 2 * h[k];
        }
        for (float& v : h)
            v /= sum;
    }
};

// Green minus the other colour at every sample, along the row and along the column.
PIXCONV_ROW_KERNEL void DifferenceRow(const float* __restrict c, float* __restrict dh, float* __restrict dv,
                                      std::ptrdiff_t n, std::ptrdiff_t w, int p) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        const float* ck = c + k;
        const float eh = Clamp01(0.5f * (ck[-1] + ck[0] + ck[1]) - 0.25f * (ck[-2] + ck[2]));
        const float ev = Clamp01(0.5f * (ck[-w] + ck[0] + ck[w]) - 0.25f * (ck[-2 * w] + ck[2 * w]));
        const bool bColourSite = IsColourSite(k, p);
        dh[k] = bColourSite ? eh - ck[0] : ck[0] - eh;
        dv[k] = bColourSite ? ev - ck[0] : ck[0] - ev;
    }
}

PIXCONV_ROW_KERNEL void SmoothRow(const float* __restrict dh, const float* __restrict dv,
                                  float* __restrict sh, float* __restrict sv, std::ptrdiff_t n,
                                  std::ptrdiff_t w, const Gaussian& gauss) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        float h = gauss.h[0] * dh[k], v = gauss.h[0] * dv[k];
        for (std::ptrdiff_t j = 1; j <= kRadius; ++j) {
            h += gauss.h[j] * (dh[k - j] + dh[k + j]);
            v += gauss.h[j] * (dv[k - j * w] + dv[k + j * w]);
        }
        sh[k] = h;
        sv[k] = v;
    }
}

// The LMMSE estimate along step s from the noisy differences z and their low-pass lp, with its error
// variance.
inline void Estimate(const float* z, const float* lp, std::ptrdiff_t s, float& x, float& var) {
    float mean = 0;
    for (std::ptrdiff_t j = -kRadius; j <= kRadius; ++j)
        mean += lp[j * s];
    mean *= 1.0f / (2 * kRadius + 1);
    float signal = kVarEps, noise = kVarEps;
    for (std::ptrdiff_t j = -kRadius; j <= kRadius; ++j) {
        const float d = lp[j * s] - mean;
        const float e = lp[j * s] - z[j * s];
        signal += d * d;
        noise += e * e;
    }
    // One division for both: the kernel's cost is mostly its divisions.
    const float inverse = 1.0f / (signal + noise);
    x = (z[0] * signal + lp[0] * noise) * inverse;
    var = signal * noise * inverse;
}

// Green at red and blue sites, and the error variance of that estimate.
PIXCONV_ROW_KERNEL void GreenRow(const float* __restrict c, const float* __restrict dh,
                                 const float* __restrict dv, const float* __restrict sh,
                                 const float* __restrict sv, float* __restrict g, float* __restrict var,
                                 std::ptrdiff_t n, std::ptrdiff_t w, int p) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        float xh, vh, xv, vv;
        Estimate(dh + k, sh + k, 1, xh, vh);
        Estimate(dv + k, sv + k, w, xv, vv);
        const float inverse = 1.0f / (vh + vv);
        const float green = Clamp01(c[k] + (xh * vv + xv * vh) * inverse);
        g[k] = IsColourSite(k, p) ? green : c[k];
        var[k] = vh * vv * inverse;
    }
}

// The LMMSE green and RCD's, each weighted by the inverse of its error variance.
PIXCONV_ROW_KERNEL void FuseRow(float* __restrict g, const float* __restrict var, const float* __restrict rcd,
                                std::ptrdiff_t n) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k)
        g[k] = (g[k] * kRcdVariance + rcd[k] * var[k]) / (kRcdVariance + var[k]);
}

// Green valid with margin kGreenMargin; dh, dv, sh, sv, var and rcd are scratch planes.
PIXCONV_VECTOR_CLONES void LmmseGreen(const Tile& t, const float* vhDir, float* g, float* dh, float* dv,
                                      float* sh, float* sv, float* var, float* rcd) {
    static const Gaussian gauss;
    const std::ptrdiff_t w = t.width;
    const float* c = t.cfa;
    for (std::ptrdiff_t y = 2; y < t.height - 2; ++y) {
        const auto row = t.Row(y, 2);
        DifferenceRow(c + row.i, dh + row.i, dv + row.i, row.n, w, row.p);
    }
    for (std::ptrdiff_t y = 2 + kRadius; y < t.height - (2 + kRadius); ++y) {
        const auto row = t.Row(y, 2 + kRadius);
        SmoothRow(dh + row.i, dv + row.i, sh + row.i, sv + row.i, row.n, w, gauss);
    }
    for (std::ptrdiff_t y = kGreenMargin; y < t.height - kGreenMargin; ++y) {
        const auto row = t.Row(y, kGreenMargin);
        GreenRow(c + row.i, dh + row.i, dv + row.i, sh + row.i, sv + row.i, g + row.i, var + row.i, row.n, w,
                 row.p);
    }
    rcd::Green(t, vhDir, sh, rcd);
    for (std::ptrdiff_t y = kGreenMargin; y < t.height - kGreenMargin; ++y) {
        const std::ptrdiff_t i = y * w + kGreenMargin;
        FuseRow(g + i, var + i, rcd + i, w - 2 * kGreenMargin);
    }
}

// Along the colour's own grid (steps of two), the Laplacians of green and of the samples at every site:
// their product and green's square.
PIXCONV_ROW_KERNEL void LaplacianRow(const float* __restrict c, const float* __restrict g,
                                     float* __restrict cross, float* __restrict square, std::ptrdiff_t n,
                                     std::ptrdiff_t w) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        const float* ck = c + k;
        const float* gk = g + k;
        const float lc = 4 * ck[0] - (ck[-2] + ck[2] + ck[-2 * w] + ck[2 * w]);
        const float lg = 4 * gk[0] - (gk[-2] + gk[2] + gk[-2 * w] + gk[2 * w]);
        cross[k] = lc * lg;
        square[k] = lg * lg;
    }
}

// At every red and blue site the slope of its samples against green over its 3 x 3 same-colour window
// that leaves the residual (sample - slope x green) the least Laplacian energy, kept within 0..2 so that
// a window where green hardly changes cannot make it wild.
PIXCONV_ROW_KERNEL void SlopeRow(const float* __restrict cross, const float* __restrict square,
                                 float* __restrict slope, std::ptrdiff_t n, std::ptrdiff_t w) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        float sc = 0, ss = 0;
        for (std::ptrdiff_t dy = -2; dy <= 2; dy += 2)
            for (std::ptrdiff_t dx = -2; dx <= 2; dx += 2) {
                sc += cross[k + dy * w + dx];
                ss += square[k + dy * w + dx];
            }
        const float a = sc / (ss + kSlopeEps);
        slope[k] = a > 0.0f ? (a < 2.0f ? a : 2.0f) : 0.0f;
    }
}

// One colour plane x along a row: at the sites of the other two kinds, the residual interpolation (the
// mean over the nearest samples s of the colour, each carried over as sample(s) + slope(s) x (green here -
// green(s))) blended into the value there. bOwnRow: the row holds samples of the colour.
PIXCONV_ROW_KERNEL void ResidualRow(const float* __restrict c, const float* __restrict g,
                                    const float* __restrict slope, float* __restrict x, std::ptrdiff_t n,
                                    std::ptrdiff_t w, int p, bool bOwnRow) {
    auto carried = [&](std::ptrdiff_t k, std::ptrdiff_t s) {
        return c[k + s] + slope[k + s] * (g[k] - g[k + s]);
    };
    auto blend = [](float value, float residual) {
        return value + kResidualShare * (Clamp01(residual) - value);
    };
    if (bOwnRow) {
#pragma GCC ivdep
        for (std::ptrdiff_t k = 0; k < n; ++k) {
            const float h = 0.5f * (carried(k, -1) + carried(k, 1));
            x[k] = IsColourSite(k, p) ? x[k] : blend(x[k], h);
        }
        return;
    }
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        const float v = 0.5f * (carried(k, -w) + carried(k, w));
        const float d =
            0.25f * (carried(k, -w - 1) + carried(k, -w + 1) + carried(k, w - 1) + carried(k, w + 1));
        x[k] = blend(x[k], IsColourSite(k, p) ? d : v);
    }
}

// Red and blue, valid with margin kRefinedMargin, blended with a residual interpolation from the refined
// green (minimised-Laplacian residual interpolation, Kiku, Monno, Tanaka and Okutomi, 2014): the result
// holds with margin kRefinedMargin + 5. cross, square and slope are scratch planes.
PIXCONV_VECTOR_CLONES void BlendResidual(const Tile& t, const float* g, float* red, float* blue, float* cross,
                                         float* square, float* slope) {
    const std::ptrdiff_t w = t.width;
    for (std::ptrdiff_t y = kRefinedMargin + 2; y < t.height - (kRefinedMargin + 2); ++y) {
        const auto row = t.Row(y, kRefinedMargin + 2);
        LaplacianRow(t.cfa + row.i, g + row.i, cross + row.i, square + row.i, row.n, w);
    }
    for (std::ptrdiff_t y = kRefinedMargin + 4; y < t.height - (kRefinedMargin + 4); ++y) {
        const auto row = t.Row(y, kRefinedMargin + 4);
        SlopeRow(cross + row.i, square + row.i, slope + row.i, row.n, w);
    }
    // A row writes red and blue in that row alone and reads them nowhere else: the residual interpolation
    // carries the raw samples over, not the planes.
    for (std::ptrdiff_t y = kRefinedMargin + 5; y < t.height - (kRefinedMargin + 5); ++y) {
        const auto row = t.Row(y, kRefinedMargin + 5);
        const bool bRedRow = (y & 1) == t.pattern.redY;
        ResidualRow(t.cfa + row.i, g + row.i, slope + row.i, red + row.i, row.n, w, row.p, bRedRow);
        ResidualRow(t.cfa + row.i, g + row.i, slope + row.i, blue + row.i, row.n, w, row.p, !bRedRow);
    }
}

TileResult LmmseTile(const Tile& t, float* const* planes) {
    float* vhDir = planes[0];
    float* pqDir = planes[1];
    float* g = planes[2];
    float* r = planes[3];
    float* b = planes[4];
    rcd::Directions(t, vhDir, planes[5], planes[6]);
    LmmseGreen(t, vhDir, g, r, b, planes[5], planes[6], planes[7], pqDir);
    rcd::RedBlue(t, g, vhDir, kGreenMargin, r, b, pqDir, planes[5], planes[6]);
    rcd::RefineGreenWeighted(t, r, b, vhDir, kGreenMargin + 5, g);
    rcd::RefineCrossColour(t, g, vhDir, kGreenMargin + 5, r, b, planes[5]);
    BlendResidual(t, g, r, b, planes[5], planes[6], planes[7]);
    return {r, g, b};
}

} // namespace

void ConvertLmmse(const RawImage& raw, uint8_t* pDst, const PackedLut& lut, WorkerPool* pool,
                  std::ptrdiff_t tileSize) {
    ConvertTiled(raw, pDst, lut, pool, tileSize, kBestPad, 8, LmmseTile);
}

} // namespace pixconv
