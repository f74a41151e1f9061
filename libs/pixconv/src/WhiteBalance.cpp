// White balance from the neutral content of an image.
//
// Pixels with a saturated channel (they no longer tell the colour of the light) and near-black pixels
// (noise and black-level errors dominate) are left out. The grey-world average of the rest gives a
// first estimate; then, a few times over, only the pixels that this estimate already renders nearly
// grey are averaged again, with a tolerance that narrows from round to round, so that large coloured
// objects stop pulling the result towards their complement. Should too few pixels look grey, the
// previous estimate stands.
#include "PixConv.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr int kSaturated = 250; // a channel at or above this level is clipped, or nearly
constexpr int kNearBlack = 24;  // brightest channel below this: too dark to judge
// How far from grey a balanced pixel may be to count as grey, round by round.
constexpr double kNeutral[] = {0.5, 0.3, 0.2, 0.15, 0.1};
constexpr double kMinRatio = 1.0 / 16, kMaxRatio = 16.0;

struct Sums {
    double r = 0, g = 0, b = 0;
    std::size_t n = 0;
};

} // namespace

int GetWhiteBalanceRatio(const uint8_t* pRgb, int nWidth, int nHeight, double* pdRatioR, double* pdRatioG,
                         double* pdRatioB) {
    if (!pRgb || !pdRatioR || !pdRatioG || !pdRatioB || nWidth <= 0 || nHeight <= 0)
        return 0;
    const std::size_t pixels = static_cast<std::size_t>(nWidth) * static_cast<std::size_t>(nHeight);
    auto usable = [](const uint8_t* p) {
        const int hi = std::max({p[0], p[1], p[2]});
        return hi < kSaturated && hi >= kNearBlack && p[1] > 0;
    };

    Sums all;
    for (std::size_t i = 0; i < pixels; ++i) {
        const uint8_t* p = pRgb + 3 * i; // blue, green, red
        if (usable(p)) {
            all.b += p[0];
            all.g += p[1];
            all.r += p[2];
            ++all.n;
        }
    }
    double ratioR = 1, ratioB = 1;
    if (all.n > 0 && all.r > 0 && all.b > 0) {
        ratioR = all.g / all.r;
        ratioB = all.g / all.b;
        const std::size_t enough = std::max<std::size_t>(16, all.n / 100);
        for (const double tolerance : kNeutral) {
            Sums grey;
            for (std::size_t i = 0; i < pixels; ++i) {
                const uint8_t* p = pRgb + 3 * i;
                if (!usable(p))
                    continue;
                const double g = p[1];
                const double band = tolerance * g;
                if (std::fabs(ratioR * p[2] - g) < band && std::fabs(ratioB * p[0] - g) < band) {
                    grey.b += p[0];
                    grey.g += g;
                    grey.r += p[2];
                    ++grey.n;
                }
            }
            if (grey.n < enough || grey.r <= 0 || grey.b <= 0)
                break;
            ratioR = grey.g / grey.r;
            ratioB = grey.g / grey.b;
        }
    }
    *pdRatioR = std::clamp(ratioR, kMinRatio, kMaxRatio);
    *pdRatioG = 1.0;
    *pdRatioB = std::clamp(ratioB, kMinRatio, kMaxRatio);
    return 1;
}
