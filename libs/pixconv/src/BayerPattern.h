// Where the colours of a Bayer mosaic sit, and the mirrored coordinates that every kernel uses at the
// image borders.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pixconv {

enum Channel { kRed = 0, kGreen = 1, kBlue = 2 };

// The 2 x 2 cell of a layout, described by where its red sample sits; blue sits diagonally opposite.
struct BayerPattern {
    int redX = 0; // 0 or 1
    int redY = 0; // 0 or 1

    // Unknown layout codes fall back to GBRG, the code the viewer starts with.
    static BayerPattern FromLayout(int nLayout);

    Channel At(std::ptrdiff_t x, std::ptrdiff_t y) const {
        const int px = static_cast<int>(x & 1), py = static_cast<int>(y & 1);
        if (px == redX && py == redY)
            return kRed;
        if (px != redX && py != redY)
            return kBlue;
        return kGreen;
    }
};

inline BayerPattern BayerPattern::FromLayout(int nLayout) {
    switch (nLayout) {
    case 2: // GRBG
        return {1, 0};
    case 3: // BGGR
        return {1, 1};
    case 4: // RGGB
        return {0, 0};
    default: // 1, GBRG
        return {0, 1};
    }
}

// Reflects a coordinate into [0, n) about the first and last sample without repeating them
// (-1 -> 1, n -> n - 2). The period 2(n - 1) is even, so the Bayer colour of a mirrored neighbour is
// the colour the missing sample would have had. Works for any n >= 2 and any distance.
inline std::ptrdiff_t Mirror(std::ptrdiff_t i, std::ptrdiff_t n) {
    if (i >= 0 && i < n)
        return i;
    const std::ptrdiff_t period = 2 * (n - 1);
    i %= period;
    if (i < 0)
        i += period;
    return i < n ? i : period - i;
}

} // namespace pixconv
