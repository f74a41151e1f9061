#include "SimFocus.h"

#include <algorithm>
#include <cmath>

namespace ocusnap::detail::sim {

namespace {

// Reflects a coordinate into [0, n) about the first and the last site. Steps of two pixels stay on sites
// of the same parity, and so of the same colour, because the period 2 (n - 1) is even.
int32_t Mirror(int32_t i, int32_t n) {
    if (n == 1) {
        return 0;
    }
    const int32_t period = 2 * (n - 1);
    i %= period;
    if (i < 0) {
        i += period;
    }
    return i < n ? i : period - i;
}

// Weights of the same-colour sites 2k pixels away, k = -reach .. reach, adding up to 1.
std::vector<float> Weights(int focus, int32_t& reach) {
    reach = (3 * focus + 1) / 2; // three standard deviations
    std::vector<float> weights(static_cast<size_t>(2 * reach + 1));
    double total = 0;
    for (int32_t k = -reach; k <= reach; ++k) {
        const double d = 2.0 * k;
        const double w = std::exp(-d * d / (2.0 * focus * focus));
        weights[static_cast<size_t>(k + reach)] = static_cast<float>(w);
        total += w;
    }
    for (float& w : weights) {
        w = static_cast<float>(w / total);
    }
    return weights;
}

} // namespace

std::vector<uint16_t> BlurChart(const ModeScene& scene, int focus) {
    if (focus <= 0 || scene.chart.empty()) {
        return scene.chart;
    }
    const int32_t w = scene.width;
    const int32_t h = scene.height;
    int32_t reach = 0;
    const std::vector<float> weights = Weights(focus, reach);
    const auto taps = static_cast<int32_t>(weights.size());

    // Across: each row padded with its mirrored sites, then every pixel from its same-colour neighbours.
    std::vector<float> across(static_cast<size_t>(w) * static_cast<size_t>(h));
    std::vector<float> padded(static_cast<size_t>(w + 4 * reach));
    for (int32_t y = 0; y < h; ++y) {
        const uint16_t* row = scene.chart.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int32_t i = 0; i < w + 4 * reach; ++i) {
            padded[static_cast<size_t>(i)] = row[Mirror(i - 2 * reach, w)];
        }
        float* out = across.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int32_t x = 0; x < w; ++x) {
            float sum = 0;
            for (int32_t k = 0; k < taps; ++k) {
                sum += weights[static_cast<size_t>(k)] * padded[static_cast<size_t>(x + 2 * k)];
            }
            out[x] = sum;
        }
    }

    // Down: whole rows at once, the rows two apart taken with their weights.
    std::vector<uint16_t> blurred(scene.chart.size());
    std::vector<float> sum(static_cast<size_t>(w));
    for (int32_t y = 0; y < h; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (int32_t k = 0; k < taps; ++k) {
            const float weight = weights[static_cast<size_t>(k)];
            const float* row =
                across.data() + static_cast<size_t>(Mirror(y + 2 * (k - reach), h)) * static_cast<size_t>(w);
            for (int32_t x = 0; x < w; ++x) {
                sum[static_cast<size_t>(x)] += weight * row[x];
            }
        }
        uint16_t* out = blurred.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int32_t x = 0; x < w; ++x) {
            out[x] = static_cast<uint16_t>(
                std::clamp(std::lround(sum[static_cast<size_t>(x)]), 0L, static_cast<long>(kRadianceMax)));
        }
    }
    return blurred;
}

double DiscCoverage(double distance, double radius, int focus) {
    if (focus <= 0) {
        return distance < radius ? 1.0 : 0.0;
    }
    // The edge of a blurred half-plane, which a disc much larger than the blur follows closely.
    return 0.5 * std::erfc((distance - radius) / (focus * std::sqrt(2.0)));
}

} // namespace ocusnap::detail::sim
