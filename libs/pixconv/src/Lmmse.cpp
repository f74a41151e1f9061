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
    return {r, g, b};
}

} // namespace

void ConvertLmmse(const RawImage& raw, uint8_t* pDst, const PackedLut& lut, WorkerPool* pool,
                  std::ptrdiff_t tileSize) {
    ConvertTiled(raw, pDst, lut, pool, tileSize, 18, 8, LmmseTile);
}

} // namespace pixconv
