// Hamilton-Adams: green interpolated along the direction with the smaller gradient, corrected by the
// second derivative of the sample's own colour; red and blue then follow the green as colour
// differences, along the row or column at green sites and along the flatter diagonal at red and blue
// sites. Last, green at red and blue sites is refined from those red and blue estimates, blended by the
// ratio of the two gradients.
#include "Rcd.h"

namespace pixconv {
namespace {

// a or b, or their mean on a tie, whichever has the smaller gradient.
inline float Directional(float a, float ga, float b, float gb) {
    const float mean = 0.5f * (a + b);
    const float pick = ga < gb ? a : b;
    return ga == gb ? mean : pick;
}

PIXCONV_ROW_KERNEL void GreenRow(const float* __restrict c, float* __restrict g, float* __restrict horizontal,
                                 std::ptrdiff_t n, std::ptrdiff_t w, int p) {
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        const float* ck = c + k;
        const float lh = 2 * ck[0] - ck[-2] - ck[2];
        const float lv = 2 * ck[0] - ck[-2 * w] - ck[2 * w];
        const float gh = 0.5f * (ck[-1] + ck[1]) + 0.25f * lh;
        const float gv = 0.5f * (ck[-w] + ck[w]) + 0.25f * lv;
        const float dh = Abs(ck[-1] - ck[1]) + Abs(lh);
        const float dv = Abs(ck[-w] - ck[w]) + Abs(lv);
        g[k] = IsColourSite(k, p) ? Clamp01(Directional(gh, dh, gv, dv)) : ck[0];
        horizontal[k] = (dv + rcd::kEps) / (dh + dv + 2 * rcd::kEps);
    }
}

// One row of red and blue. At green sites the colour of the row comes from the left and right, the
// other from above and below; at red and blue sites the own sample stays and the other colour comes
// from the flatter diagonal.
PIXCONV_ROW_KERNEL void ColourRow(const float* __restrict c, const float* __restrict g,
                                  float* __restrict rowColour, float* __restrict otherColour,
                                  std::ptrdiff_t n, std::ptrdiff_t w, int p) {
    const std::ptrdiff_t dn = w + 1, dp = w - 1;
#pragma GCC ivdep
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        const float* ck = c + k;
        const float* gk = g + k;
        auto diff = [&](std::ptrdiff_t s) { return ck[s] - gk[s]; };
        const float alongRow = Clamp01(gk[0] + 0.5f * (diff(-1) + diff(1)));
        const float alongColumn = Clamp01(gk[0] + 0.5f * (diff(-w) + diff(w)));
        const float gradN = Abs(ck[-dn] - ck[dn]) + Abs(2 * gk[0] - gk[-dn] - gk[dn]);
        const float gradP = Abs(ck[-dp] - ck[dp]) + Abs(2 * gk[0] - gk[-dp] - gk[dp]);
        const float diagonal = Clamp01(
            gk[0] + Directional(0.5f * (diff(-dn) + diff(dn)), gradN, 0.5f * (diff(-dp) + diff(dp)), gradP));
        const bool bColourSite = IsColourSite(k, p);
        const float own = ck[0];
        rowColour[k] = bColourSite ? own : alongRow;
        otherColour[k] = bColourSite ? diagonal : alongColumn;
    }
}

PIXCONV_VECTOR_CLONES TileResult HamiltonAdamsTile(const Tile& t, float* const* planes) {
    const std::ptrdiff_t w = t.width;
    float* g = planes[0];
    float* r = planes[1];
    float* b = planes[2];
    float* horizontal = planes[3];
    for (std::ptrdiff_t y = 2; y < t.height - 2; ++y) {
        const auto row = t.Row(y, 2);
        GreenRow(t.cfa + row.i, g + row.i, horizontal + row.i, row.n, w, row.p);
    }
    // Green holds with margin 2, so the colour differences hold with margin 3.
    for (std::ptrdiff_t y = 3; y < t.height - 3; ++y) {
        const std::ptrdiff_t i = y * w + 3;
        const int p = ((t.pattern.At(0, y) == kGreen ? 1 : 0) ^ 3) & 1;
        const bool bRedRow = (y & 1) == t.pattern.redY;
        ColourRow(t.cfa + i, g + i, (bRedRow ? r : b) + i, (bRedRow ? b : r) + i, w - 6, w, p);
    }
    // Green at red and blue sites once more, from the red and blue made with the first green.
    rcd::RefineGreen(t, r, b, horizontal, 3, g);
    return {r, g, b};
}

} // namespace

void ConvertHamiltonAdams(const RawImage& raw, uint8_t* pDst, const PackedLut& lut, WorkerPool* pool,
                          std::ptrdiff_t tileSize) {
    ConvertTiled(raw, pDst, lut, pool, tileSize, 4, 4, HamiltonAdamsTile);
}

} // namespace pixconv
