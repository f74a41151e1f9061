// The last step of every conversion: three table lookups per pixel, packed as blue, green, red.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pixconv {

// The caller's three tables, widened so that one pixel is three loads and two ORs, already in
// its byte position; and the tables themselves, red, green, blue.
struct PackedLut {
    uint32_t r[256];
    uint32_t g[256];
    uint32_t b[256];
    const uint8_t* tables[3];

    PackedLut(const uint8_t* pLutR, const uint8_t* pLutG, const uint8_t* pLutB)
        : tables{pLutR, pLutG, pLutB} {
        for (int i = 0; i < 256; ++i) {
            b[i] = pLutB[i];
            g[i] = uint32_t{pLutG[i]} << 8;
            r[i] = uint32_t{pLutR[i]} << 16;
        }
    }

    uint32_t Pixel(unsigned red, unsigned green, unsigned blue) const { return r[red] | g[green] | b[blue]; }
};

inline void StorePixel(uint8_t* pDst, uint32_t bgr) {
    pDst[0] = static_cast<uint8_t>(bgr);
    pDst[1] = static_cast<uint8_t>(bgr >> 8);
    pDst[2] = static_cast<uint8_t>(bgr >> 16);
}

// Writes n pixels whose channel levels (0..255) are given in three arrays. Eight pixels go out as
// three 64-bit stores, so nothing beyond the 3n bytes is touched.
template <typename T>
inline void WritePixels(uint8_t* pDst, const T* pR, const T* pG, const T* pB, std::size_t n,
                        const PackedLut& lut) {
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= n; i += 8, pDst += 24) {
            uint64_t p[8];
            for (int k = 0; k < 8; ++k)
                p[k] = lut.Pixel(pR[i + k], pG[i + k], pB[i + k]);
            const uint64_t w0 = p[0] | p[1] << 24 | p[2] << 48;
            const uint64_t w1 = p[2] >> 16 | p[3] << 8 | p[4] << 32 | p[5] << 56;
            const uint64_t w2 = p[5] >> 8 | p[6] << 16 | p[7] << 40;
            std::memcpy(pDst, &w0, 8);
            std::memcpy(pDst + 8, &w1, 8);
            std::memcpy(pDst + 16, &w2, 8);
        }
    }
    for (; i < n; ++i, pDst += 3)
        StorePixel(pDst, lut.Pixel(pR[i], pG[i], pB[i]));
}

} // namespace pixconv
