// Synthetic images for the raw-image library's tests.
#pragma once

#include "PixConv.h"

#include <array>
#include <cstdint>
#include <ostream>
#include <random>
#include <vector>

namespace pixtest {

inline constexpr int kLayouts[] = {PIX_BAYER_GBRG, PIX_BAYER_GRBG, PIX_BAYER_BGGR, PIX_BAYER_RGGB};
inline constexpr int kTypes[] = {PIX_CONVERT_FAST, PIX_CONVERT_NORMAL, PIX_CONVERT_EDGESENSING,
                                 PIX_CONVERT_BEST};

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

// Which channel a layout samples at (x, y): 0 red, 1 green, 2 blue.
inline int ChannelAt(int nLayout, int x, int y) {
    static constexpr char kNames[5][5] = {"", "GBRG", "GRBG", "BGGR", "RGGB"};
    const char c = kNames[nLayout][(y & 1) * 2 + (x & 1)];
    return c == 'R' ? 0 : c == 'G' ? 1 : 2;
}

// A top-down colour image, sampled as the camera would.
template <typename Fn>
std::vector<uint8_t> Mosaic(int w, int h, int nLayout, Fn colourAt) {
    std::vector<uint8_t> raw(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = colourAt(x, y);
            const int ch = ChannelAt(nLayout, x, y);
            raw[y * w + x] = static_cast<uint8_t>(ch == 0 ? c.r : ch == 1 ? c.g : c.b);
        }
    return raw;
}

struct Lut {
    std::array<uint8_t, 256> r, g, b;
};

inline Lut Identity() {
    Lut t;
    for (int i = 0; i < 256; ++i)
        t.r[i] = t.g[i] = t.b[i] = static_cast<uint8_t>(i);
    return t;
}

// The pixel at column x of the image's row y counted from the top, in a bottom-up BGR image.
inline Rgb PixelAt(const std::vector<uint8_t>& bgr, int w, int h, int x, int y) {
    const uint8_t* p = bgr.data() + (static_cast<size_t>(h - 1 - y) * w + x) * 3;
    return {p[2], p[1], p[0]};
}

inline std::vector<uint8_t> Convert(const std::vector<uint8_t>& raw, int w, int h, int nType, int nLayout,
                                    const Lut& lut = Identity()) {
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
    ConvertBayer2Rgb(out.data(), raw.data(), w, h, nType, lut.r.data(), lut.g.data(), lut.b.data(), 1,
                     nLayout);
    return out;
}

inline std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> level(0, 255);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(level(rng));
    return v;
}

inline std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

} // namespace pixtest
