// Hamilton-Adams: green interpolated along the direction with the smaller gradient, corrected by the
// second derivative of the sample's own colour; red and blue then follow the green as colour
// differences, along the row or column at green sites and along the flatter diagonal at red and blue
// sites.
#include "Tiles.h"

#include <cmath>

namespace pixconv {
namespace {

// Interpolates a or b, or their mean on a tie, choosing by the gradients ga and gb.
inline float Directional(float a, float ga, float b, float gb) {
    return ga < gb ? a : gb < ga ? b : 0.5f * (a + b);
}

inline float Clamp01(float v) {
    return std::fmin(std::fmax(v, 0.0f), 1.0f);
}

TileResult HamiltonAdamsTile(const Tile& t, float* const* planes) {
    const std::ptrdiff_t w = t.width;
    const float* c = t.cfa;
    float* g = planes[0];
    float* rgb[3] = {planes[1], g, planes[2]};

    t.ForEachSite(2, true, [&](auto, auto, auto i) { g[i] = c[i]; });
    t.ForEachSite(2, false, [&](auto, auto, auto i) {
        const float lh = 2 * c[i] - c[i - 2] - c[i + 2];
        const float lv = 2 * c[i] - c[i - 2 * w] - c[i + 2 * w];
        const float gh = 0.5f * (c[i - 1] + c[i + 1]) + 0.25f * lh;
        const float gv = 0.5f * (c[i - w] + c[i + w]) + 0.25f * lv;
        const float dh = std::fabs(c[i - 1] - c[i + 1]) + std::fabs(lh);
        const float dv = std::fabs(c[i - w] - c[i + w]) + std::fabs(lv);
        g[i] = Clamp01(Directional(gh, dh, gv, dv));
    });

    // Colour differences; green is known on the rectangle with margin 2, so these hold on margin 3.
    auto diff = [&](std::ptrdiff_t i) { return c[i] - g[i]; };
    t.ForEachSite(3, true, [&](auto x, auto y, auto i) {
        const Channel rowColour = t.pattern.At(x + 1, y);
        const Channel columnColour = rowColour == kRed ? kBlue : kRed;
        rgb[rowColour][i] = Clamp01(g[i] + 0.5f * (diff(i - 1) + diff(i + 1)));
        rgb[columnColour][i] = Clamp01(g[i] + 0.5f * (diff(i - w) + diff(i + w)));
    });
    t.ForEachSite(3, false, [&](auto x, auto y, auto i) {
        const Channel own = t.pattern.At(x, y);
        const Channel other = own == kRed ? kBlue : kRed;
        rgb[own][i] = c[i];
        const std::ptrdiff_t n = w + 1, p = w - 1; // the two diagonals
        const float dn = std::fabs(c[i - n] - c[i + n]) + std::fabs(2 * g[i] - g[i - n] - g[i + n]);
        const float dp = std::fabs(c[i - p] - c[i + p]) + std::fabs(2 * g[i] - g[i - p] - g[i + p]);
        const float en = 0.5f * (diff(i - n) + diff(i + n));
        const float ep = 0.5f * (diff(i - p) + diff(i + p));
        rgb[other][i] = Clamp01(g[i] + Directional(en, dn, ep, dp));
    });
    return {rgb[kRed], rgb[kGreen], rgb[kBlue]};
}

} // namespace

void ConvertHamiltonAdams(const RawImage& raw, uint8_t* pDst, const PackedLut& lut) {
    ConvertTiled(raw, pDst, lut, 4, 3, HamiltonAdamsTile);
}

} // namespace pixconv
