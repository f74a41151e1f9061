// The steps of ratio-corrected demosaicing (RCD, Luis Sanz Rodriguez), which the LMMSE conversion
// shares: the direction map, the green estimate, the red and blue interpolation that follows a complete
// green plane, and the refinements of green and the cross colours from the red and blue estimates.
#pragma once

#include "Tiles.h"

namespace pixconv::rcd {

constexpr float kEps = 1e-5f;
constexpr float kEpsSq = 1e-10f;

// Vertical-versus-horizontal discrimination, 0 (flat vertically) .. 1 (flat horizontally), valid with
// margin 4. bufV and bufH are scratch planes.
void Directions(const Tile& t, float* vhDir, float* bufV, float* bufH);

// Green at red and blue sites from the cardinal neighbours, each scaled by the local ratio of a low-pass
// image, blended by the direction map; valid with margin 5. lpf is a scratch plane.
void Green(const Tile& t, const float* vhDir, float* lpf, float* green);

// Red and blue given green valid with margin greenMargin; the result holds with margin
// greenMargin + 5. pqDir, bufP and bufQ are scratch planes.
void RedBlue(const Tile& t, const float* green, const float* vhDir, std::ptrdiff_t greenMargin, float* red,
             float* blue, float* pqDir, float* bufP, float* bufQ);

// Green at red and blue sites once more, from the red and blue estimates: the site's own sample plus
// the colour differences green - own colour at its four cardinal neighbours (green sites, whose own
// colour the red and blue step interpolated from real samples along the row or column), blended by the
// direction map. Red and blue valid with margin rbMargin; the result holds with margin rbMargin + 1.
void RefineGreen(const Tile& t, const float* red, const float* blue, const float* vhDir,
                 std::ptrdiff_t rbMargin, float* green);

// Green at red and blue sites once more, as RefineGreen, but each of the four neighbours' colour
// differences counts by the inverse square of the gradient towards it (so that a neighbour across an edge
// hardly counts) besides its direction's share by the map; it costs about twice as much. Red and blue
// valid with margin rbMargin; the result holds with margin rbMargin + 3.
void RefineGreenWeighted(const Tile& t, const float* red, const float* blue, const float* vhDir,
                         std::ptrdiff_t rbMargin, float* green);

// Blue at red sites and red at blue sites once more: 0.7 of an estimate from the refined green and the
// colour differences of the four green neighbours, weighted as in RefineGreenWeighted, and 0.3 of the
// diagonal estimate they hold. Red and blue valid with margin rbMargin, green with margin rbMargin + 3,
// which the result holds; row is scratch for one row.
void RefineCrossColour(const Tile& t, const float* green, const float* vhDir, std::ptrdiff_t rbMargin,
                       float* red, float* blue, float* row);

// The square of the gradient from the centre of sample row c towards a neighbour at step s whose colour
// difference is d0: the samples' steps and the difference's change to d3, the difference one step further
// on (at 3 s). The constant keeps a flat neighbourhood's weights finite and equal.
inline float SquaredGradient(const float* c, std::ptrdiff_t s, float d0, float d3) {
    constexpr float kGradientEps = 1.0f / 255;
    const float grad = kGradientEps + Abs(c[s] - c[-s]) + Abs(c[0] - c[2 * s]) + Abs(d0 - d3);
    return grad * grad;
}

// Whichever of a site's own discrimination and the mean of its diagonal neighbours' is more decided.
inline float Refined(const float* dir, std::ptrdiff_t w) {
    const float centre = dir[0];
    const float around = 0.25f * (dir[-w - 1] + dir[-w + 1] + dir[w - 1] + dir[w + 1]);
    return Abs(0.5f - centre) < Abs(0.5f - around) ? around : centre;
}

// The square of a high-pass of the colour difference along step s, as RCD measures directions.
inline float HighPassSquared(const float* c, std::ptrdiff_t s) {
    const float v = (c[-3 * s] - c[-s] - c[s] + c[3 * s]) - 3 * (c[-2 * s] + c[2 * s]) + 6 * c[0];
    return v * v;
}

} // namespace pixconv::rcd
