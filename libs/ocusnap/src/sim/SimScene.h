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

// The size of the sensor's full image (mode 0), which the chart is laid out for.
struct SensorSize {
    int32_t width = 1280;
    int32_t height = 1024;
};

// The scene in linear light at a point of the field of view; u and v run from 0 to 1 across the
// image, `pixelScale` is mode-0 pixels per pixel of the image sampled (for the fine detail).
Rgb ChartColour(double u, double v, SensorSize sensor, double pixelScale);
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

// Radiance codes of a scene, row by row; a uniform scene repeats one row (row stride 0).
struct RadianceMap {
    const uint16_t* data = nullptr;
    size_t rowStride = 0;
    const uint16_t* Row(int32_t y) const { return data + static_cast<size_t>(y) * rowStride; }
    uint16_t At(int32_t x, int32_t y) const { return Row(y)[x]; }
};

// Radiance of the uniformly lit white surface (a reflectance of 0.6).
inline constexpr double kFlatReflectance = 0.6;

// The spread (one standard deviation) of the photosites' response, in tenths of a percent: 2 %, as on an
// inexpensive industrial sensor.
inline constexpr double kResponseSpreadTenths = 20.0;

struct ModeScene {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint16_t> chart;   // width * height codes, rows top first; empty unless the chart is used
    std::vector<uint16_t> flatRow; // one row of the uniform light
    std::vector<uint16_t> darkRow; // one row of nothing (lens covered)
    std::vector<uint8_t> offset;   // fixed-pattern offset per site in converter units
    std::vector<int8_t> response;  // photo-response non-uniformity per site, in tenths of a percent
    std::vector<Defect> defects;   // sorted by row

    RadianceMap Radiance(SceneKind kind) const;
};

// Where the sensor's clustered defects sit, as fractions of the image (the same in every mode):
// 2 x 2 clusters of hot pixels, a row of three adjacent hot pixels, and one hot column (a column
// whose dark level is far above the others').
inline constexpr std::array<std::array<double, 2>, 3> kHotClusters{
    {{0.015, 0.47}, {0.25, 0.78}, {0.60, 0.78}}};
inline constexpr std::array<double, 2> kHotRun{0.40, 0.80};
inline constexpr double kHotColumn = 0.90;
inline constexpr int kHotColumnOffset = 60; // converter units above the column's neighbours

// The site of a clustered defect at fractions (u, v) of a width x height image: even coordinates, so
// that a 2 x 2 cluster covers one site of each colour.
inline int32_t DefectSite(double fraction, int32_t size) {
    return static_cast<int32_t>(fraction * size) & ~1;
}

// The prepared scene of a mode; shared between every camera that needs the same one. The chart is
// rendered only when `withChart` is set.
std::shared_ptr<const ModeScene> PreparedScene(Bayer bayer, bool withChart, SensorSize sensor, int32_t width,
                                               int32_t height);

// The moving object: a disc whose centre follows a slow figure across the image.
struct Disc {
    double cx, cy, radius; // in pixels of the mode's image
};
Disc MovingDisc(int32_t width, int32_t height, uint64_t motionIndex);
inline constexpr Rgb kDiscColour{1.0, 0.72, 0.12};

} // namespace ocusnap::detail::sim
