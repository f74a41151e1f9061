#include "SimScene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <numbers>
#include <tuple>

namespace ocusnap::detail::sim {

namespace {

constexpr uint64_t kDefectSeed = 0x0C05A9F1E1D5EEDull;
constexpr int kHotPixels = 24;
constexpr int kDeadPixels = 16;

double Linear(int srgb) {
    const double c = srgb / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// The standard normal distribution by its quantiles at the middles of 4096 equal steps of probability
// (so within 3.5 standard deviations): a draw is a table lookup, where drawing with logarithm and cosine
// made preparing a large sensor's fixed pattern take seconds. The pattern is rounded to whole converter
// units and tenths of a percent, far coarser than the steps.
constexpr int kNormalBits = 12;
using NormalTable = std::array<float, size_t{1} << kNormalBits>;

const NormalTable& NormalQuantiles() {
    static const NormalTable table = [] {
        NormalTable q{};
        for (size_t i = 0; i < q.size(); ++i) {
            const double p = (static_cast<double>(i) + 0.5) / static_cast<double>(q.size());
            // The cumulative distribution, 0.5 erfc(-x / sqrt 2), rises monotonically: bisect it.
            double lo = -8.0;
            double hi = 8.0;
            for (int step = 0; step < 48; ++step) {
                const double mid = 0.5 * (lo + hi);
                (0.5 * std::erfc(-mid / std::numbers::sqrt2) < p ? lo : hi) = mid;
            }
            q[i] = static_cast<float>(0.5 * (lo + hi));
        }
        return q;
    }();
    return table;
}

// A small deterministic generator: the sensor's defects must be the same on every run.
struct SplitMix {
    uint64_t state;
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Gaussian(const NormalTable& normal) { return normal[Next() >> (64 - kNormalBits)]; }
};

// Rounds half away from zero, as std::lround does, without its call.
long Round(double value) {
    return static_cast<long>(value >= 0.0 ? value + 0.5 : value - 0.5);
}

bool Inside(double u, double v, double u0, double v0, double u1, double v1) {
    return u >= u0 && u < u1 && v >= v0 && v < v1;
}

Rgb Gray(double level) {
    return {level, level, level};
}

double Component(const Rgb& c, int channel) {
    return channel == 0 ? c.r : channel == 3 ? c.b : c.g;
}

uint16_t Code(double value) {
    return static_cast<uint16_t>(Round(std::clamp(value, 0.0, 1.0) * kRadianceMax));
}

// Whether a defect lies within `distance` sites of (x, y) in both directions.
bool Near(const std::vector<Defect>& defects, int32_t x, int32_t y, int32_t distance) {
    return std::any_of(defects.begin(), defects.end(), [&](const Defect& d) {
        return std::abs(d.x - x) <= distance && std::abs(d.y - y) <= distance;
    });
}

void AddDefects(ModeScene& scene) {
    SplitMix clusterRng{kDefectSeed + 2};
    auto hot = [&](int32_t x, int32_t y) {
        if (x < scene.width && y < scene.height && !Near(scene.defects, x, y, 0)) {
            scene.defects.push_back({x, y, true, static_cast<int16_t>(300 + clusterRng.Next() % 1700)});
        }
    };
    // Clusters first, at their fixed places; the scattered defects go around them.
    for (const auto& [u, v] : kHotClusters) {
        const int32_t x = DefectSite(u, scene.width);
        const int32_t y = DefectSite(v, scene.height);
        hot(x, y);
        hot(x + 1, y);
        hot(x, y + 1);
        hot(x + 1, y + 1);
    }
    const int32_t runX = DefectSite(kHotRun[0], scene.width);
    const int32_t runY = DefectSite(kHotRun[1], scene.height);
    for (int32_t i = 0; i < 3; ++i) {
        hot(runX + i, runY);
    }
    // The scattered ones stay single: none touches a cluster, another defect or the hot column.
    const int32_t hotColumn = DefectSite(kHotColumn, scene.width);
    SplitMix rng{kDefectSeed ^ (uint64_t(scene.width) << 32) ^ uint64_t(scene.height)};
    for (int i = 0; i < kHotPixels + kDeadPixels; ++i) {
        Defect d{};
        d.x = static_cast<int32_t>(rng.Next() % uint64_t(scene.width));
        d.y = static_cast<int32_t>(rng.Next() % uint64_t(scene.height));
        d.hot = i < kHotPixels;
        d.darkRate = static_cast<int16_t>(d.hot ? 300 + rng.Next() % 1700 : 0);
        if (!Near(scene.defects, d.x, d.y, 2) && std::abs(d.x - hotColumn) > 2) {
            scene.defects.push_back(d);
        }
    }
    std::sort(scene.defects.begin(), scene.defects.end(),
              [](const Defect& a, const Defect& b) { return std::tie(a.y, a.x) < std::tie(b.y, b.x); });
}

void AddFixedPattern(ModeScene& scene) {
    // Dark-signal offsets: a per-column component (the readout amplifiers) and a per-site one.
    const NormalTable& normal = NormalQuantiles();
    SplitMix rng{kDefectSeed + 1 + uint64_t(scene.width)};
    std::vector<double> column(static_cast<size_t>(scene.width));
    for (double& c : column) {
        c = 1.5 * rng.Gaussian(normal);
    }
    // One column amplifier is bad: its whole column sits far above the dark level.
    const auto hotColumn = static_cast<size_t>(DefectSite(kHotColumn, scene.width));
    scene.offset.resize(static_cast<size_t>(scene.width) * static_cast<size_t>(scene.height));
    size_t i = 0;
    for (int32_t y = 0; y < scene.height; ++y) {
        for (int32_t x = 0; x < scene.width; ++x, ++i) {
            const double offset = 8.0 + column[static_cast<size_t>(x)] + 2.0 * rng.Gaussian(normal);
            const long extra = static_cast<size_t>(x) == hotColumn ? kHotColumnOffset : 0;
            scene.offset[i] = static_cast<uint8_t>(std::clamp(Round(offset), 0L, 40L) + extra);
        }
    }
    // Each photosite turns light into signal a little more or less efficiently than the others: under
    // light this, not the dark offset, is most of the fixed pattern, as on real sensors. Drawn apart from
    // the offsets, so that these stay as they were.
    SplitMix responseRng{kDefectSeed + 2 + uint64_t(scene.width)};
    scene.response.resize(scene.offset.size());
    for (int8_t& r : scene.response)
        r = static_cast<int8_t>(
            std::clamp(Round(kResponseSpreadTenths * responseRng.Gaussian(normal)), -100L, 100L));
}

std::shared_ptr<const ModeScene> BuildScene(Bayer bayer, bool withChart, SensorSize sensor, int32_t width,
                                            int32_t height) {
    auto scene = std::make_shared<ModeScene>();
    scene->width = width;
    scene->height = height;
    if (withChart) {
        scene->chart.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        const double pixelScale = static_cast<double>(sensor.width) / width;
        size_t i = 0;
        for (int32_t y = 0; y < height; ++y) {
            const double v = (y + 0.5) / height;
            for (int32_t x = 0; x < width; ++x, ++i) {
                const Rgb colour = ChartColour((x + 0.5) / width, v, sensor, pixelScale);
                scene->chart[i] = Code(Component(colour, SiteChannel(bayer, x, y)));
            }
        }
    }
    scene->flatRow.assign(static_cast<size_t>(width), Code(kFlatReflectance));
    scene->darkRow.assign(static_cast<size_t>(width), 0);
    AddFixedPattern(*scene);
    AddDefects(*scene);
    return scene;
}

} // namespace

Rgb PatchColour(int row, int col) {
    static constexpr int kSrgb[24][3] = {
        {115, 82, 68},   {194, 150, 130}, {98, 122, 157},  {87, 108, 67},   {133, 128, 177}, {103, 189, 170},
        {214, 126, 44},  {80, 91, 166},   {193, 90, 99},   {94, 60, 108},   {157, 188, 64},  {224, 163, 46},
        {56, 61, 150},   {70, 148, 73},   {175, 54, 60},   {231, 199, 31},  {187, 86, 149},  {8, 133, 161},
        {243, 243, 242}, {200, 200, 200}, {160, 160, 160}, {122, 122, 121}, {85, 85, 85},    {52, 52, 52}};
    // Linearised once: the chart asks for a patch at every site it covers.
    static const std::array<Rgb, 24> kLinear = [] {
        std::array<Rgb, 24> linear{};
        for (size_t i = 0; i < linear.size(); ++i)
            linear[i] = {Linear(kSrgb[i][0]), Linear(kSrgb[i][1]), Linear(kSrgb[i][2])};
        return linear;
    }();
    return kLinear[static_cast<size_t>(row * 6 + col)];
}

Rgb ChartColour(double u, double v, SensorSize sensor, double pixelScale) {
    // Lengths in sensor pixels; the round shapes keep the proportions they have on a 5:4 sensor.
    const double w = sensor.width;
    const double h = sensor.height;
    const double unit = std::min(w, 1.25 * h);
    // Colour checker, 6 x 4 patches with a dark gap between them.
    if (Inside(u, v, 0.03, 0.04, 0.51, 0.44)) {
        const double pu = (u - 0.03) / 0.48 * 6.0;
        const double pv = (v - 0.04) / 0.40 * 4.0;
        const double fu = pu - std::floor(pu);
        const double fv = pv - std::floor(pv);
        if (fu > 0.08 && fu < 0.92 && fv > 0.08 && fv < 0.92) {
            return PatchColour(static_cast<int>(pv), static_cast<int>(pu));
        }
        return Gray(0.02);
    }
    // Zone plate: the local frequency reaches 0.5 cycles per mode-0 pixel at its rim, so it shows how
    // a demosaicing method copes with fine detail and where it aliases.
    {
        const double radius = 0.19 * unit;
        const double dx = (u - 0.76) * w;
        const double dy = (v - 0.25) * h;
        const double r2 = dx * dx + dy * dy;
        if (r2 < radius * radius) {
            const double k = 0.5 / radius;
            const double level = 0.45 + 0.4 * std::cos(std::numbers::pi * k * r2);
            // Averaged over the sampled pixel where the pattern is finer than the mode can show.
            const double freq = k * std::sqrt(r2) * pixelScale;
            const double fade = freq > 0.5 ? 0.0 : 1.0;
            return Gray(0.45 + (level - 0.45) * fade);
        }
    }
    // Siemens star: 36 spokes.
    {
        const double radius = 0.14 * unit;
        const double dx = (u - 0.76) * w;
        const double dy = (v - 0.67) * h;
        if (dx * dx + dy * dy < radius * radius) {
            const double angle = std::atan2(dy, dx);
            const bool white = std::sin(angle * 36.0) > 0.0;
            return Gray(white ? 0.8 : 0.04);
        }
    }
    // Colour bars at 75 %: white, yellow, cyan, green, magenta, red, blue, black.
    if (Inside(u, v, 0.03, 0.50, 0.51, 0.66)) {
        static constexpr Rgb kBars[8] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0},
                                         {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}};
        const Rgb& bar = kBars[std::min(7, static_cast<int>((u - 0.03) / 0.48 * 8.0))];
        return {0.75 * bar.r, 0.75 * bar.g, 0.75 * bar.b};
    }
    // Gray ramp, linear from black to white, above a 16-step wedge.
    if (Inside(u, v, 0.03, 0.84, 0.97, 0.89)) {
        return Gray((u - 0.03) / 0.94);
    }
    if (Inside(u, v, 0.03, 0.89, 0.97, 0.96)) {
        return Gray(std::min(15, static_cast<int>((u - 0.03) / 0.94 * 16.0)) / 15.0);
    }
    return Gray(0.18);
}

int SiteChannel(Bayer bayer, int32_t x, int32_t y) {
    // Channel of each 2 x 2 position (row-major) per layout.
    static constexpr int kChannels[4][4] = {
        {2, 3, 0, 1}, // GBRG: G B / R G, so the first row's green is a green on a blue row
        {1, 0, 3, 2}, // GRBG
        {3, 2, 1, 0}, // BGGR
        {0, 1, 2, 3}, // RGGB
    };
    const int* layout = kChannels[static_cast<int>(bayer) - 1];
    return layout[((y & 1) << 1) | (x & 1)];
}

RadianceMap ModeScene::Radiance(SceneKind kind) const {
    switch (kind) {
    case SceneKind::Chart:
        return {chart.data(), static_cast<size_t>(width)};
    case SceneKind::Flat:
        return {flatRow.data(), 0};
    case SceneKind::Dark:
        break;
    }
    return {darkRow.data(), 0};
}

std::shared_ptr<const ModeScene> PreparedScene(Bayer bayer, bool withChart, SensorSize sensor, int32_t width,
                                               int32_t height) {
    using Key = std::tuple<int, bool, int32_t, int32_t, int32_t, int32_t>;
    static std::mutex mutex;
    static std::map<Key, std::weak_ptr<const ModeScene>> cache;
    const Key key{static_cast<int>(bayer), withChart, sensor.width, sensor.height, width, height};
    std::lock_guard lock(mutex);
    if (auto scene = cache[key].lock()) {
        return scene;
    }
    auto scene = BuildScene(bayer, withChart, sensor, width, height);
    cache[key] = scene;
    return scene;
}

Disc MovingDisc(int32_t width, int32_t height, uint64_t motionIndex) {
    // A Lissajous figure: it crosses every part of the chart and never repeats for a long while.
    const double t = static_cast<double>(motionIndex % 23580);
    const double u = 0.5 + 0.42 * std::sin(2.0 * std::numbers::pi * t / 180.0);
    const double v = 0.5 + 0.40 * std::sin(2.0 * std::numbers::pi * t / 131.0 + 0.7);
    return {u * width, v * height, 0.035 * width};
}

} // namespace ocusnap::detail::sim
