// The steps of ratio-corrected demosaicing (RCD, Luis Sanz Rodriguez) that the LMMSE conversion
// shares: the direction maps and the red and blue interpolation that follows a complete green plane.
#pragma once

#include "Tiles.h"

#include <cmath>

namespace pixconv::rcd {

constexpr float kEps = 1e-5f;
constexpr float kEpsSq = 1e-10f;

// Vertical-versus-horizontal discrimination, 0 (flat vertically) .. 1 (flat horizontally), valid with
// margin 4. bufV and bufH are scratch planes.
void Directions(const Tile& t, float* vhDir, float* bufV, float* bufH);

// Red and blue given green valid with margin greenMargin; the result holds with margin
// greenMargin + 5. pqDir, bufP, bufQ are scratch planes.
void RedBlue(const Tile& t, const float* green, const float* vhDir, std::ptrdiff_t greenMargin, float* red,
             float* blue, float* pqDir, float* bufP, float* bufQ);

// Picks whichever of a site's own discrimination and that of its diagonal neighbours is more
// decided.
inline float Refined(const float* dir, std::ptrdiff_t i, std::ptrdiff_t w) {
    const float centre = dir[i];
    const float around = 0.25f * (dir[i - w - 1] + dir[i - w + 1] + dir[i + w - 1] + dir[i + w + 1]);
    return std::fabs(0.5f - centre) < std::fabs(0.5f - around) ? around : centre;
}

inline float Clamp01(float v) {
    return std::fmin(std::fmax(v, 0.0f), 1.0f);
}

} // namespace pixconv::rcd
