#include "SimSensor.h"

#include "SimFocus.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ocusnap::detail::sim {

namespace {

constexpr uint64_t kNoiseSeed = 0x5EED0F0C05A9ull;

uint64_t Mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// xorshift64*: eight noise samples per step, cheap enough for every pixel of every frame.
struct NoiseStream {
    uint64_t state;
    NoiseStream(uint64_t frame, int32_t row)
        : state(Mix(kNoiseSeed ^ (frame * 0x9E3779B97F4A7C15ull) ^ (uint64_t(uint32_t(row)) << 40)) | 1) {}
    uint64_t Next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 0x2545F4914F6CDD1Dull;
    }
};

// Normal quantiles: a uniformly random byte indexes a Gaussian sample of the read noise.
const std::array<int8_t, 256>& GaussTable() {
    static const std::array<int8_t, 256> table = [] {
        std::array<int8_t, 256> t{};
        for (int i = 0; i < 256; ++i) {
            // Inverse error function by bisection is plenty for 256 entries computed once.
            const double p = (i + 0.5) / 256.0;
            double lo = -6.0, hi = 6.0;
            for (int k = 0; k < 60; ++k) {
                const double mid = 0.5 * (lo + hi);
                (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
            }
            t[static_cast<size_t>(i)] = static_cast<int8_t>(std::lround(0.5 * (lo + hi) * kReadNoiseSigma));
        }
        return t;
    }();
    return table;
}

uint16_t DiscCode(int channel) {
    const double c = channel == 0 ? kDiscColour.r : channel == 3 ? kDiscColour.b : kDiscColour.g;
    return static_cast<uint16_t>(std::lround(c * kRadianceMax));
}

void BuildTables(const FrameInput& in, FrameTables& t) {
    const FrameTables::Key key{in.exposureSeconds, in.registers.gain, in.registers.adcLevel};
    if (t.builtFor == key) {
        return; // the settings of the last frame: the tables stand
    }
    t.builtFor = key;
    const double exposure = in.exposureSeconds / kStandardExposureSeconds;
    const int32_t level = in.registers.adcLevel;
    for (size_t c = 0; c < 4; ++c) {
        const double scale = kChannelSensitivity[c] * exposure * (in.registers.gain[c] / 8.0) *
                             kWhiteAtStandardExposure / kRadianceMax;
        for (int code = 0; code <= kRadianceMax; ++code) {
            const double v = std::min<double>(kConverterMax, std::round(code * scale));
            t.signal[c][static_cast<size_t>(code)] = static_cast<uint16_t>(v);
            t.clean[c][static_cast<size_t>(code)] = DeliveredValue(static_cast<int32_t>(v), level);
        }
    }
    for (size_t i = 0; i < t.output.size(); ++i) {
        t.output[i] = DeliveredValue(static_cast<int32_t>(i) - FrameTables::kOutputBias, level);
    }
}

void RenderCleanRow(const uint16_t* radiance, const uint8_t* even, const uint8_t* odd, int32_t width,
                    uint8_t* out) {
    int32_t x = 0;
    for (; x + 1 < width; x += 2) {
        out[x] = even[radiance[x]];
        out[x + 1] = odd[radiance[x + 1]];
    }
    if (x < width) {
        out[x] = even[radiance[x]];
    }
}

void RenderNoisyRow(const uint16_t* radiance, const uint8_t* offset, const int8_t* response,
                    const uint16_t* even, const uint16_t* odd, const uint8_t* output, NoiseStream& noise,
                    int32_t width, uint8_t* out) {
    const int8_t* gauss = GaussTable().data();
    int32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        uint64_t bits = noise.Next();
        for (int k = 0; k < 8; k += 2) {
            const int32_t a =
                Respond(even[radiance[x + k]], response[x + k]) + offset[x + k] + gauss[bits & 0xFF];
            const int32_t b = Respond(odd[radiance[x + k + 1]], response[x + k + 1]) + offset[x + k + 1] +
                              gauss[(bits >> 8) & 0xFF];
            out[x + k] = output[a];
            out[x + k + 1] = output[b];
            bits >>= 16;
        }
    }
    uint64_t bits = noise.Next();
    for (; x < width; ++x, bits >>= 8) {
        const uint16_t* table = (x & 1) ? odd : even;
        const int32_t v = Respond(table[radiance[x]], response[x]) + offset[x] + gauss[bits & 0xFF];
        out[x] = output[v];
    }
}

} // namespace

uint8_t DeliveredValue(int32_t converterValue, int32_t adcLevel) {
    const int32_t v = std::clamp(converterValue, 0, kConverterMax);
    return static_cast<uint8_t>(std::min(255, v >> (3 - adcLevel)));
}

void RenderFrame(const ModeScene& scene, Bayer bayer, const FrameInput& in, FrameTables& tables,
                 uint8_t* destination) {
    BuildTables(in, tables);
    const Window& w = in.registers.window;
    const uint8_t* output = tables.output.data() + FrameTables::kOutputBias;
    const Disc disc = MovingDisc(scene.width, scene.height, in.motionIndex);
    const RadianceMap radianceMap = in.scene == SceneKind::Chart && in.focusedChart != nullptr
                                        ? RadianceMap{in.focusedChart, static_cast<size_t>(scene.width)}
                                        : scene.Radiance(in.scene);
    const size_t bytes = static_cast<size_t>(w.width) * static_cast<size_t>(w.height);

    // Without noise only the moving object changes from frame to frame: the rest is rendered once for
    // these settings and copied.
    if (!in.noise) {
        StillFrame& still = tables.still;
        const StillFrame::Key key{&scene, in.scene, w, tables.builtFor, in.focus};
        if (still.key != key) {
            still.pixels.resize(bytes);
            for (int32_t y = 0; y < w.height; ++y) {
                const int32_t sy = w.top + y;
                const auto chEven = static_cast<size_t>(SiteChannel(bayer, w.left, sy));
                const auto chOdd = static_cast<size_t>(SiteChannel(bayer, w.left + 1, sy));
                RenderCleanRow(radianceMap.Row(sy) + w.left, tables.clean[chEven].data(),
                               tables.clean[chOdd].data(), w.width,
                               still.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(w.width));
            }
            still.key = key;
        }
        if (bytes > 0) {
            std::memcpy(destination, still.pixels.data(), bytes);
        }
    }

    // Out of focus, the disc's edge spreads over the chart around it.
    const double discReach = disc.radius + 3.0 * in.focus;
    for (int32_t y = 0; y < w.height; ++y) {
        const int32_t sy = w.top + y;
        const double dy = sy + 0.5 - disc.cy;
        const bool object = in.scene == SceneKind::Chart && std::abs(dy) < discReach; // the chart's disc
        if (!in.noise && !object) {
            continue;
        }
        const size_t rowStart =
            static_cast<size_t>(sy) * static_cast<size_t>(scene.width) + static_cast<size_t>(w.left);
        uint8_t* out = destination + static_cast<size_t>(y) * static_cast<size_t>(w.width);
        NoiseStream noise(in.frameIndex, sy);
        if (in.noise) {
            const auto chEven = static_cast<size_t>(SiteChannel(bayer, w.left, sy));
            const auto chOdd = static_cast<size_t>(SiteChannel(bayer, w.left + 1, sy));
            RenderNoisyRow(radianceMap.Row(sy) + w.left, scene.offset.data() + rowStart,
                           scene.response.data() + rowStart, tables.signal[chEven].data(),
                           tables.signal[chOdd].data(), output, noise, w.width, out);
        }
        if (!object) {
            continue;
        }
        // The moving object covers part of the row.
        const double half = std::sqrt(discReach * discReach - dy * dy);
        const auto x0 = std::max<int32_t>(w.left, static_cast<int32_t>(std::ceil(disc.cx - half - 0.5)));
        const auto x1 =
            std::min<int32_t>(w.left + w.width - 1, static_cast<int32_t>(std::floor(disc.cx + half - 0.5)));
        uint64_t bits = noise.Next();
        for (int32_t sx = x0; sx <= x1; ++sx, bits = (bits >> 8) | (bits << 56)) {
            const auto ch = static_cast<size_t>(SiteChannel(bayer, sx, sy));
            uint16_t code = DiscCode(static_cast<int>(ch));
            if (in.focus > 0) {
                const double cover = DiscCoverage(std::hypot(sx + 0.5 - disc.cx, dy), disc.radius, in.focus);
                code =
                    static_cast<uint16_t>(std::lround(cover * code + (1.0 - cover) * radianceMap.At(sx, sy)));
            }
            uint8_t& pixel = out[sx - w.left];
            if (in.noise) {
                const size_t site =
                    static_cast<size_t>(sy) * static_cast<size_t>(scene.width) + static_cast<size_t>(sx);
                const int32_t v = Respond(tables.signal[ch][code], scene.response[site]) +
                                  scene.offset[site] + GaussTable()[bits & 0xFF];
                pixel = output[v];
            } else {
                pixel = tables.clean[ch][code];
            }
        }
    }

    if (!in.noise) {
        return;
    }
    // Hot and dead photosites, from the fixed defect map of this mode.
    const double exposure = in.exposureSeconds / kStandardExposureSeconds;
    for (const Defect& d : scene.defects) {
        if (d.y < w.top || d.y >= w.top + w.height || d.x < w.left || d.x >= w.left + w.width) {
            continue;
        }
        const size_t site =
            static_cast<size_t>(d.y) * static_cast<size_t>(scene.width) + static_cast<size_t>(d.x);
        double v = scene.offset[site];
        if (d.hot) {
            const auto ch = static_cast<size_t>(SiteChannel(bayer, d.x, d.y));
            // Dark current grows with the exposure; a part of it comes with every readout.
            v += tables.signal[ch][radianceMap.At(d.x, d.y)] + d.darkRate * (0.25 + exposure);
        }
        const auto value = static_cast<int32_t>(std::min<double>(v, kConverterMax));
        destination[static_cast<size_t>(d.y - w.top) * static_cast<size_t>(w.width) +
                    static_cast<size_t>(d.x - w.left)] = DeliveredValue(value, in.registers.adcLevel);
    }
}

} // namespace ocusnap::detail::sim
