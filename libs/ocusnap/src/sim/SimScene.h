// The static part of what the simulated sensor sees, prepared once per resolution mode: the scene's
// radiance at every photosite, already filtered through that site's Bayer colour, plus the sensor's
// fixed defects. Only exposure, gains, converter, noise and the moving object are applied per frame.
#pragma once

#include "SimConfig.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace ocusnap::detail::sim {

// Radiance codes: 0 is black, kRadianceMax a white of reflectance 1 under the standard light.
inline constexpr int kRadianceBits = 12;
inline constexpr int kRadianceMax = (1 << kRadianceBits) - 1;

struct Rgb {
    double r, g, b;
};

// The scene in linear light at a point of the field of view; u and v run from 0 to 1 across the
// image, `pixelScale` is mode-0 pixels per pixel of the image sampled (for the fine detail).
Rgb ChartColour(double u, double v, double pixelScale);
// The colour of the chart patch in row `row` (0..3) and column `col` (0..5): sRGB values of a
// classic colour checker, linearised.
Rgb PatchColour(int row, int col);

// The colour filter over site (x, y), as a gain channel index 0..3 (red, green on red rows, green on
// blue rows, blue), in sensor coordinates of the mode's image.
int SiteChannel(Bayer bayer, int32_t x, int32_t y);

struct Defect {
    int32_t x;
    int32_t y;
    bool hot;         // hot: a large dark current; dead: no response to light
    int16_t darkRate; // hot pixels: converter units added per 60 ms of exposure
};

struct ModeScene {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint16_t> radiance; // width * height codes, rows top first
    std::vector<uint8_t> offset;    // fixed-pattern offset per site in converter units
    std::vector<Defect> defects;    // sorted by row
};

// The prepared scene of a mode; shared between every camera that needs the same one.
std::shared_ptr<const ModeScene> PreparedScene(Bayer bayer, SceneKind kind, int32_t width, int32_t height);

// The moving object: a disc whose centre follows a slow figure across the image.
struct Disc {
    double cx, cy, radius; // in pixels of the mode's image
};
Disc MovingDisc(int32_t width, int32_t height, uint64_t motionIndex);
inline constexpr Rgb kDiscColour{1.0, 0.72, 0.12};

} // namespace ocusnap::detail::sim
