// Directional linear minimum mean square-error estimation of green (L. Zhang and X. Wu, "Color
// demosaicking via directional linear minimum mean square-error estimation", IEEE TIP 2005), followed
// by the red and blue steps of RCD.
//
// Along each row and each column the missing colour is first estimated with a Laplacian-corrected
// linear filter, giving a noisy green-minus-colour difference at every sample. A Gaussian low-pass of
// that difference serves as the signal estimate; its local variance and the local variance of the
// residual give the LMMSE weight between the two, and the horizontal and vertical estimates are fused
// by the inverse of their error variances.
#include "Rcd.h"

#include <cmath>

namespace pixconv {
namespace {

constexpr std::ptrdiff_t kRadius = 4; // of the low-pass filter and of the statistics window
constexpr float kVarEps = 1e-7f;

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

// The LMMSE estimate along one direction (step s) and its error variance.
inline void Estimate(const float* z, const float* lp, std::ptrdiff_t i, std::ptrdiff_t s, float& x,
                     float& var) {
    float mean = 0;
    for (std::ptrdiff_t k = -kRadius; k <= kRadius; ++k)
        mean += lp[i + k * s];
    mean *= 1.0f / (2 * kRadius + 1);
    float signal = kVarEps, noise = kVarEps;
    for (std::ptrdiff_t k = -kRadius; k <= kRadius; ++k) {
        const float d = lp[i + k * s] - mean;
        const float n = lp[i + k * s] - z[i + k * s];
        signal += d * d;
        noise += n * n;
    }
    x = (z[i] * signal + lp[i] * noise) / (signal + noise);
    var = signal * noise / (signal + noise);
}

// Green valid with margin 10; dh, dv, sh, sv are scratch planes.
void LmmseGreen(const Tile& t, float* g, float* dh, float* dv, float* sh, float* sv) {
    static const Gaussian gauss;
    const std::ptrdiff_t w = t.width;
    const float* c = t.cfa;
    t.ForEach(2, [&](auto x, auto y, auto i) {
        const float eh = rcd::Clamp01(0.5f * (c[i - 1] + c[i] + c[i + 1]) - 0.25f * (c[i - 2] + c[i + 2]));
        const float ev =
            rcd::Clamp01(0.5f * (c[i - w] + c[i] + c[i + w]) - 0.25f * (c[i - 2 * w] + c[i + 2 * w]));
        const bool bGreen = t.pattern.At(x, y) == kGreen;
        dh[i] = bGreen ? c[i] - eh : eh - c[i];
        dv[i] = bGreen ? c[i] - ev : ev - c[i];
    });
    t.ForEach(2 + kRadius, [&](auto, auto, auto i) {
        float h = gauss.h[0] * dh[i], v = gauss.h[0] * dv[i];
        for (std::ptrdiff_t k = 1; k <= kRadius; ++k) {
            h += gauss.h[k] * (dh[i - k] + dh[i + k]);
            v += gauss.h[k] * (dv[i - k * w] + dv[i + k * w]);
        }
        sh[i] = h;
        sv[i] = v;
    });
    t.ForEachSite(0, true, [&](auto, auto, auto i) { g[i] = c[i]; });
    t.ForEachSite(2 + 2 * kRadius, false, [&](auto, auto, auto i) {
        float xh, vh, xv, vv;
        Estimate(dh, sh, i, 1, xh, vh);
        Estimate(dv, sv, i, w, xv, vv);
        g[i] = rcd::Clamp01(c[i] + (xh * vv + xv * vh) / (vh + vv));
    });
}

TileResult LmmseTile(const Tile& t, float* const* planes) {
    float* vhDir = planes[0];
    float* pqDir = planes[1];
    float* g = planes[2];
    float* r = planes[3];
    float* b = planes[4];
    LmmseGreen(t, g, r, b, planes[5], planes[6]);
    rcd::Directions(t, vhDir, planes[5], planes[6]);
    rcd::RedBlue(t, g, vhDir, 2 + 2 * kRadius, r, b, pqDir, planes[5], planes[6]);
    return {r, g, b};
}

} // namespace

void ConvertLmmse(const RawImage& raw, uint8_t* pDst, const PackedLut& lut) {
    ConvertTiled(raw, pDst, lut, 16, 7, LmmseTile);
}

} // namespace pixconv
