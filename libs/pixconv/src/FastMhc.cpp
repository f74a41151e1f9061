// Malvar-He-Cutler gradient-corrected linear interpolation ("High-quality linear interpolation for
// demosaicing of Bayer-patterned color images", ICASSP 2004). Every 5 x 5 filter has coefficients in
// sixteenths, so the whole kernel runs in 16-bit integers: the largest intermediate is 28 x 255.
//
// The vector path handles 32 pixels of a row at a time as 16 even and 16 odd lanes, so every lane of
// a vector holds pixels of one Bayer colour and one filter applies to the whole vector. Written with
// the compiler's generic vectors, it is compiled for baseline x86-64 (SSE2) and for AVX2, chosen at
// run time.
#include "Demosaic.h"

#include <algorithm>
#include <cstring>

// The 32-byte vectors never cross a function boundary that is not inlined, so the ABI note about
// passing them without AVX concerns nothing here.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace pixconv {
namespace {

// The sums of the filter taps around one pixel; with these the four filters are
//   green at red/blue:                8c + 4(h1 + v1) - 2(h2 + v2)
//   blue at red, red at blue:         12c + 4d - 3(h2 + v2)
//   at green, the colour of its row:  10c + 8h1 - 2h2 - 2d + v2
//   at green, the colour of its column: the same transposed.
template <typename T>
struct Taps {
    T c, h1, h2, v1, v2, d;

    T GreenAtColour() const { return 8 * c + 4 * (h1 + v1) - 2 * (h2 + v2); }
    T DiagonalColour() const { return 12 * c + 4 * d - 3 * (h2 + v2); }
    T RowColour() const { return 10 * c + 8 * h1 - 2 * (h2 + d) + v2; }
    T ColumnColour() const { return 10 * c + 8 * v1 - 2 * (v2 + d) + h2; }
};

inline int Scale(int sixteenths) {
    return std::clamp((sixteenths + 8) >> 4, 0, 255);
}

// One pixel with mirrored neighbours, as green, row colour and other colour.
void ReferencePixel(const RawImage& raw, std::ptrdiff_t x, std::ptrdiff_t y, uint8_t out[3]) {
    auto p = [&](int dx, int dy) { return int{raw.At(x + dx, y + dy)}; };
    const Taps<int> t{p(0, 0),
                      p(-1, 0) + p(1, 0),
                      p(-2, 0) + p(2, 0),
                      p(0, -1) + p(0, 1),
                      p(0, -2) + p(0, 2),
                      p(-1, -1) + p(1, -1) + p(-1, 1) + p(1, 1)};
    const Channel own = raw.pattern.At(x, y);
    int rgb[3];
    if (own == kGreen) {
        // The colour that shares a row with this green sample has its neighbours to the left and right.
        const Channel rowColour = raw.pattern.At(x + 1, y);
        rgb[kGreen] = 16 * t.c;
        rgb[rowColour] = t.RowColour();
        rgb[rowColour == kRed ? kBlue : kRed] = t.ColumnColour();
    } else {
        rgb[own] = 16 * t.c;
        rgb[kGreen] = t.GreenAtColour();
        rgb[own == kRed ? kBlue : kRed] = t.DiagonalColour();
    }
    for (int c = 0; c < 3; ++c)
        out[c] = static_cast<uint8_t>(Scale(rgb[c]));
}

using V16 = int16_t __attribute__((vector_size(32)));
using U16 = uint16_t __attribute__((vector_size(32)));
constexpr int kChunk = 32; // pixels per vector step

struct Halves {
    V16 even, odd;
};

inline __attribute__((always_inline)) Halves Split(const uint8_t* p) {
    U16 v;
    std::memcpy(&v, p, sizeof v);
    return {reinterpret_cast<V16>(v & 0xFF), reinterpret_cast<V16>(v >> 8)};
}

inline __attribute__((always_inline)) V16 Scale(V16 sixteenths) {
    V16 v = (sixteenths + 8) >> 4;
    const V16 zero = {};
    const V16 top = zero + 255;
    v = v < zero ? zero : v;
    return v > top ? top : v;
}

// Joins even and odd lanes (each 0..255) back into 32 bytes in pixel order.
inline __attribute__((always_inline)) void StoreInterleaved(uint8_t* p, V16 even, V16 odd) {
    const U16 v = reinterpret_cast<U16>(even) | (reinterpret_cast<U16>(odd) << 8);
    std::memcpy(p, &v, sizeof v);
}

// 32 pixels of one row. row[k] points at the first of them in raw row y - 2 + k; two more samples on
// each side must be readable. The row's own non-green colour sits at even x when kColourEven.
template <bool kColourEven>
inline __attribute__((always_inline)) void Chunk(const uint8_t* const row[5], uint8_t* pOut, bool bRowIsRed,
                                                 const PackedLut& lut) {
    const uint8_t* u2 = row[0];
    const uint8_t* u1 = row[1];
    const uint8_t* c = row[2];
    const uint8_t* d1 = row[3];
    const uint8_t* d2 = row[4];
    const Halves cl2 = Split(c - 2), cl1 = Split(c - 1), c0 = Split(c), cr1 = Split(c + 1),
                 cr2 = Split(c + 2);
    const Halves ul = Split(u1 - 1), u0 = Split(u1), ur = Split(u1 + 1);
    const Halves dl = Split(d1 - 1), d0 = Split(d1), dr = Split(d1 + 1);
    const Halves uu = Split(u2), dd = Split(d2);
    const Taps<V16> even{c0.even,           cl1.even + cr1.even, cl2.even + cr2.even,
                         u0.even + d0.even, uu.even + dd.even,   ul.even + ur.even + dl.even + dr.even};
    const Taps<V16> odd{c0.odd,          cl1.odd + cr1.odd, cl2.odd + cr2.odd,
                        u0.odd + d0.odd, uu.odd + dd.odd,   ul.odd + ur.odd + dl.odd + dr.odd};
    const Taps<V16>& colour = kColourEven ? even : odd;
    const Taps<V16>& green = kColourEven ? odd : even;

    // own: the row's colour, other: the colour of the neighbouring rows.
    const V16 ownAtColour = colour.c, ownAtGreen = Scale(green.RowColour());
    const V16 greenAtColour = Scale(colour.GreenAtColour()), greenAtGreen = green.c;
    const V16 otherAtColour = Scale(colour.DiagonalColour()), otherAtGreen = Scale(green.ColumnColour());

    alignas(32) uint8_t own[kChunk], grn[kChunk], other[kChunk];
    if constexpr (kColourEven) {
        StoreInterleaved(own, ownAtColour, ownAtGreen);
        StoreInterleaved(grn, greenAtColour, greenAtGreen);
        StoreInterleaved(other, otherAtColour, otherAtGreen);
    } else {
        StoreInterleaved(own, ownAtGreen, ownAtColour);
        StoreInterleaved(grn, greenAtGreen, greenAtColour);
        StoreInterleaved(other, otherAtGreen, otherAtColour);
    }
    if (bRowIsRed)
        WritePixels(pOut, own, grn, other, kChunk, lut);
    else
        WritePixels(pOut, other, grn, own, kChunk, lut);
}

template <bool kColourEven>
inline __attribute__((always_inline)) void Row(const RawImage& raw, const uint8_t* const rows[5],
                                               uint8_t* pOut, bool bRowIsRed, const PackedLut& lut) {
    const std::ptrdiff_t w = raw.width;
    // The first and last 32 pixels read mirrored samples: copy them, mirrored, into a small buffer.
    constexpr int kEdge = kChunk + 4;
    uint8_t edge[5][kEdge];
    const uint8_t* edgeRows[5];
    auto edgeChunk = [&](std::ptrdiff_t x0) {
        for (int k = 0; k < 5; ++k) {
            for (int i = 0; i < kEdge; ++i)
                edge[k][i] = rows[k][Mirror(x0 - 2 + i, w)];
            edgeRows[k] = edge[k] + 2;
        }
        Chunk<kColourEven>(edgeRows, pOut + 3 * x0, bRowIsRed, lut);
    };
    edgeChunk(0);
    for (std::ptrdiff_t x0 = kChunk; x0 + kChunk + 2 <= w; x0 += kChunk) {
        const uint8_t* at[5] = {rows[0] + x0, rows[1] + x0, rows[2] + x0, rows[3] + x0, rows[4] + x0};
        Chunk<kColourEven>(at, pOut + 3 * x0, bRowIsRed, lut);
    }
    edgeChunk(w - kChunk); // w is even, so this chunk starts on an even pixel too
}

__attribute__((target_clones("avx2", "default"))) void ConvertRows(const RawImage& raw, uint8_t* pDst,
                                                                   const PackedLut& lut) {
    const std::ptrdiff_t w = raw.width, h = raw.height;
    for (std::ptrdiff_t y = 0; y < h; ++y) {
        const uint8_t* rows[5];
        for (int k = 0; k < 5; ++k)
            rows[k] = raw.data + Mirror(y - 2 + k, h) * w;
        uint8_t* pOut = pDst + (h - 1 - y) * w * 3;
        const bool bRowIsRed = (y & 1) == raw.pattern.redY;
        const int colourX = bRowIsRed ? raw.pattern.redX : 1 - raw.pattern.redX;
        if (colourX == 0)
            Row<true>(raw, rows, pOut, bRowIsRed, lut);
        else
            Row<false>(raw, rows, pOut, bRowIsRed, lut);
    }
}

} // namespace

void ConvertFastReference(const RawImage& raw, uint8_t* pDst, const PackedLut& lut) {
    for (std::ptrdiff_t y = 0; y < raw.height; ++y) {
        uint8_t* pOut = pDst + (raw.height - 1 - y) * raw.width * 3;
        for (std::ptrdiff_t x = 0; x < raw.width; ++x, pOut += 3) {
            uint8_t rgb[3];
            ReferencePixel(raw, x, y, rgb);
            StorePixel(pOut, lut.Pixel(rgb[kRed], rgb[kGreen], rgb[kBlue]));
        }
    }
}

void ConvertFast(const RawImage& raw, uint8_t* pDst, const PackedLut& lut) {
    if (raw.width < kChunk)
        ConvertFastReference(raw, pDst, lut);
    else
        ConvertRows(raw, pDst, lut);
}

} // namespace pixconv
