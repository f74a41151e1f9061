// Malvar-He-Cutler gradient-corrected linear interpolation ("High-quality linear interpolation for
// demosaicing of Bayer-patterned color images", ICASSP 2004). Every 5 x 5 filter has coefficients in
// sixteenths, so the whole kernel runs in 16-bit integers: the largest intermediate is 28 x 255.
//
// The vector path handles a chunk of 32 (or 64) pixels of a row at a time as even and odd lanes, so
// that every lane of a vector holds pixels of one Bayer colour and one filter applies to the whole
// vector. Written with the compiler's generic vectors, it is compiled for baseline x86-64 (SSE2), for
// AVX2 and for AVX-512; the best that the processor runs is chosen at run time. The tables are applied
// as the pixels are written: by scalar lookups, or, with AVX-512 VBMI, by byte permutations of the
// whole chunk.
#include "Demosaic.h"
#include "TableWriters.h"

#include <algorithm>
#include <cstring>

namespace pixconv {
namespace {

template <typename T>
PIXCONV_INLINE T Magnitude(T v) {
    return v < 0 ? -v : v;
}

// The sums of the filter taps around one pixel; with these the four filters are
//   green at red/blue:                8c + 4(h1 + v1) - 2(h2 + v2)
//   blue at red, red at blue:         12c + 4d - 3(h2 + v2)
//   at green, the colour of its row:  10c + 8h1 - 2h2 - 2d + v2
//   at green, the colour of its column: the same transposed.
//
// False colour: where the green samples alone show fine detail (at a green site its diagonal neighbours
// differ from it, at a red or blue site its row neighbours from its column neighbours), the filters take
// part of that detail for colour, and a zone plate turns orange and blue. The colour such detail makes is
// about proportional to it, so each interpolated colour's difference from green shrinks by 3/16 of the
// measure, to nothing at most: the faint colour of fine gray detail goes, a real colour stays, less that
// little. Sensor samples stay as they are; a flat or gently shaded colour does not modulate green and
// keeps all of its colour; and since both the measure and the colours grow with the light, the picture
// at another exposure is the same picture, brighter or darker.
template <typename T>
struct Taps {
    T c, h1, h2, v1, v2, d;

    // How far an interpolated colour's difference from green shrinks, at a green site and at a red or
    // blue site: 3/16 of the detail measure, in levels.
    PIXCONV_INLINE T GreenShrink() const { return (3 * Magnitude(4 * c - d)) >> 6; }
    PIXCONV_INLINE T ColourShrink() const { return (3 * Magnitude(h1 - v1)) >> 5; }

    PIXCONV_INLINE T GreenAtColour() const { return 8 * c + 4 * (h1 + v1) - 2 * (h2 + v2); }
    PIXCONV_INLINE T DiagonalColour() const { return 12 * c + 4 * d - 3 * (h2 + v2); }
    PIXCONV_INLINE T RowColour() const { return 10 * c + 8 * h1 - 2 * (h2 + d) + v2; }
    PIXCONV_INLINE T ColumnColour() const { return 10 * c + 8 * v1 - 2 * (v2 + d) + h2; }
};

inline int Scale(int sixteenths) {
    return std::clamp((sixteenths + 8) >> 4, 0, 255);
}

// The colour with its difference from green shrunk by `shrink` towards nothing.
inline int TowardsGreen(int colour, int green, int shrink) {
    const int difference = colour - green;
    return green + std::max(std::min(difference + shrink, 0), difference - shrink);
}

// One pixel from its mirrored neighbours, as red, green, blue.
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
        const int shrink = t.GreenShrink();
        rgb[kGreen] = t.c;
        rgb[rowColour] = TowardsGreen(Scale(t.RowColour()), t.c, shrink);
        rgb[rowColour == kRed ? kBlue : kRed] = TowardsGreen(Scale(t.ColumnColour()), t.c, shrink);
    } else {
        const int green = Scale(t.GreenAtColour());
        rgb[own] = t.c;
        rgb[kGreen] = green;
        rgb[own == kRed ? kBlue : kRed] = TowardsGreen(Scale(t.DiagonalColour()), green, t.ColourShrink());
    }
    for (int c = 0; c < 3; ++c)
        out[c] = static_cast<uint8_t>(rgb[c]);
}

// Vectors of kBytes bytes: kBytes / 2 lanes of 16 bits, one per even or odd pixel of a chunk.
template <int kBytes>
struct Lanes {
    typedef int16_t I16 __attribute__((vector_size(kBytes)));
    typedef uint16_t U16 __attribute__((vector_size(kBytes)));
    struct Halves {
        I16 even, odd;
    };

    static PIXCONV_INLINE Halves Split(const uint8_t* p) {
        U16 v;
        std::memcpy(&v, p, sizeof v);
        return {reinterpret_cast<I16>(v & 0xFF), reinterpret_cast<I16>(v >> 8)};
    }

    static PIXCONV_INLINE I16 TowardsGreen(I16 colour, I16 green, I16 shrink) {
        const I16 difference = colour - green;
        const I16 zero = difference * 0;
        I16 up = difference + shrink;
        up = up < zero ? up : zero;
        const I16 down = difference - shrink;
        return green + (up > down ? up : down);
    }

    static PIXCONV_INLINE I16 Scale(I16 sixteenths) {
        I16 v = (sixteenths + 8) >> 4;
        const I16 zero = v * 0; // "= {}" trips GCC 12 in a template
        const I16 top = zero + 255;
        v = v < zero ? zero : v;
        return v > top ? top : v;
    }

    // Joins even and odd lanes (each 0..255) back into kBytes bytes in pixel order.
    static PIXCONV_INLINE void StoreInterleaved(uint8_t* p, I16 even, I16 odd) {
        const U16 v = reinterpret_cast<U16>(even) | (reinterpret_cast<U16>(odd) << 8);
        std::memcpy(p, &v, sizeof v);
    }
};

// kChunk pixels of one row. row[k] points at the first of them in raw row y - 2 + k; two more samples
// on each side must be readable. The row's own non-green colour sits at even x when kColourEven.
template <int kChunk, bool kColourEven, typename Writer>
PIXCONV_INLINE void Chunk(const uint8_t* const row[5], uint8_t* pOut, bool bRowIsRed, const Writer& writer) {
    using L = Lanes<kChunk>;
    using V = typename L::I16;
    const uint8_t* u2 = row[0];
    const uint8_t* u1 = row[1];
    const uint8_t* c = row[2];
    const uint8_t* d1 = row[3];
    const uint8_t* d2 = row[4];
    const auto cl2 = L::Split(c - 2), cl1 = L::Split(c - 1), c0 = L::Split(c), cr1 = L::Split(c + 1),
               cr2 = L::Split(c + 2);
    const auto ul = L::Split(u1 - 1), u0 = L::Split(u1), ur = L::Split(u1 + 1);
    const auto dl = L::Split(d1 - 1), d0 = L::Split(d1), dr = L::Split(d1 + 1);
    const auto uu = L::Split(u2), dd = L::Split(d2);
    const Taps<V> even{c0.even,           cl1.even + cr1.even, cl2.even + cr2.even,
                       u0.even + d0.even, uu.even + dd.even,   ul.even + ur.even + dl.even + dr.even};
    const Taps<V> odd{c0.odd,          cl1.odd + cr1.odd, cl2.odd + cr2.odd,
                      u0.odd + d0.odd, uu.odd + dd.odd,   ul.odd + ur.odd + dl.odd + dr.odd};
    const Taps<V>& colour = kColourEven ? even : odd;
    const Taps<V>& green = kColourEven ? odd : even;

    // own: the row's colour, other: the colour of the neighbouring rows.
    const V shrinkAtGreen = green.GreenShrink(), shrinkAtColour = colour.ColourShrink();
    const V greenAtColour = L::Scale(colour.GreenAtColour()), greenAtGreen = green.c;
    const V ownAtColour = colour.c,
            ownAtGreen = L::TowardsGreen(L::Scale(green.RowColour()), green.c, shrinkAtGreen);
    const V otherAtColour = L::TowardsGreen(L::Scale(colour.DiagonalColour()), greenAtColour, shrinkAtColour);
    const V otherAtGreen = L::TowardsGreen(L::Scale(green.ColumnColour()), green.c, shrinkAtGreen);

    alignas(kChunk) uint8_t own[kChunk], grn[kChunk], other[kChunk];
    if constexpr (kColourEven) {
        L::StoreInterleaved(own, ownAtColour, ownAtGreen);
        L::StoreInterleaved(grn, greenAtColour, greenAtGreen);
        L::StoreInterleaved(other, otherAtColour, otherAtGreen);
    } else {
        L::StoreInterleaved(own, ownAtGreen, ownAtColour);
        L::StoreInterleaved(grn, greenAtGreen, greenAtColour);
        L::StoreInterleaved(other, otherAtGreen, otherAtColour);
    }
    if (bRowIsRed)
        writer.template Write<kChunk>(pOut, own, grn, other);
    else
        writer.template Write<kChunk>(pOut, other, grn, own);
}

template <int kChunk, bool kColourEven, typename Writer>
PIXCONV_INLINE void Row(const RawImage& raw, const uint8_t* const rows[5], uint8_t* pOut, bool bRowIsRed,
                        const Writer& writer) {
    const std::ptrdiff_t w = raw.width;
    // The first and last chunk read mirrored samples: copy them, mirrored, into a small buffer.
    constexpr int kEdge = kChunk + 4;
    uint8_t edge[5][kEdge];
    const uint8_t* edgeRows[5];
    auto edgeChunk = [&](std::ptrdiff_t x0) {
        for (int k = 0; k < 5; ++k) {
            for (int i = 0; i < kEdge; ++i)
                edge[k][i] = rows[k][Mirror(x0 - 2 + i, w)];
            edgeRows[k] = edge[k] + 2;
        }
        Chunk<kChunk, kColourEven>(edgeRows, pOut + 3 * x0, bRowIsRed, writer);
    };
    edgeChunk(0);
    for (std::ptrdiff_t x0 = kChunk; x0 + kChunk + 2 <= w; x0 += kChunk) {
        const uint8_t* at[5] = {rows[0] + x0, rows[1] + x0, rows[2] + x0, rows[3] + x0, rows[4] + x0};
        Chunk<kChunk, kColourEven>(at, pOut + 3 * x0, bRowIsRed, writer);
    }
    edgeChunk(w - kChunk); // w is even, so this chunk starts on an even pixel too
}

// Rows y0 to y1 (exclusive) of an image at least kChunk wide.
template <int kChunk, typename Writer>
PIXCONV_INLINE void ConvertRows(const RawImage& raw, uint8_t* pDst, const Writer& writer, std::ptrdiff_t y0,
                                std::ptrdiff_t y1) {
    const std::ptrdiff_t w = raw.width, h = raw.height;
    for (std::ptrdiff_t y = y0; y < y1; ++y) {
        const uint8_t* rows[5];
        for (int k = 0; k < 5; ++k)
            rows[k] = raw.data + Mirror(y - 2 + k, h) * w;
        uint8_t* pOut = pDst + (h - 1 - y) * w * 3;
        const bool bRowIsRed = (y & 1) == raw.pattern.redY;
        const int colourX = bRowIsRed ? raw.pattern.redX : 1 - raw.pattern.redX;
        if (colourX == 0)
            Row<kChunk, true>(raw, rows, pOut, bRowIsRed, writer);
        else
            Row<kChunk, false>(raw, rows, pOut, bRowIsRed, writer);
    }
}

void ConvertBaseline(const RawImage& raw, uint8_t* pDst, const PackedLut& lut, std::ptrdiff_t y0,
                     std::ptrdiff_t y1) {
    ConvertRows<32>(raw, pDst, ScalarWriter{lut}, y0, y1);
}

#ifdef PIXCONV_X86
__attribute__((target("avx2"))) void ConvertAvx2(const RawImage& raw, uint8_t* pDst, const PackedLut& lut,
                                                 std::ptrdiff_t y0, std::ptrdiff_t y1) {
    ConvertRows<32>(raw, pDst, ScalarWriter{lut}, y0, y1);
}

PIXCONV_TARGET_AVX512 void ConvertAvx512(const RawImage& raw, uint8_t* pDst, const PackedLut& lut,
                                         std::ptrdiff_t y0, std::ptrdiff_t y1) {
    if (raw.width < 64) {
        ConvertRows<32>(raw, pDst, ScalarWriter{lut}, y0, y1);
        return;
    }
    const VbmiWriter writer(lut);
    ConvertRows<64>(raw, pDst, writer, y0, y1);
}

[[maybe_unused]] FastPath Detect() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi"))
        return FastPath::kAvx512Vbmi;
    if (__builtin_cpu_supports("avx2"))
        return FastPath::kAvx2;
    return FastPath::kBaseline;
}
#else
[[maybe_unused]] FastPath Detect() {
    return FastPath::kBaseline;
}
#endif

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

FastPath BestFastPath() {
#ifdef PIXCONV_BASELINE_ONLY
    return FastPath::kBaseline; // the tests' reference build
#else
    static const FastPath best = Detect();
    return best;
#endif
}

void ConvertFast(FastPath path, const RawImage& raw, uint8_t* pDst, const PackedLut& lut, WorkerPool* pool,
                 std::ptrdiff_t splitPixels) {
    if (path > BestFastPath())
        path = BestFastPath();
    if (raw.width < 32) {
        ConvertFastReference(raw, pDst, lut);
        return;
    }
    auto convert = [&](std::ptrdiff_t y0, std::ptrdiff_t y1) {
        switch (path) {
#ifdef PIXCONV_X86
        case FastPath::kAvx512Vbmi:
            ConvertAvx512(raw, pDst, lut, y0, y1);
            break;
        case FastPath::kAvx2:
            ConvertAvx2(raw, pDst, lut, y0, y1);
            break;
#endif
        default:
            ConvertBaseline(raw, pDst, lut, y0, y1);
            break;
        }
    };
    const std::ptrdiff_t threads = pool ? pool->Threads() : 1;
    if (threads == 1 || raw.width * raw.height < splitPixels) {
        convert(0, raw.height);
        return;
    }
    // Rows are independent: each reads its mirrored neighbours from the raw image. Bands of some
    // 32 000 pixels (a few tens of microseconds each) keep the caller from waiting long for a band that
    // a worker woken late took up last.
    const std::ptrdiff_t band = std::max<std::ptrdiff_t>(2, kFastBandPixels / raw.width);
    const std::ptrdiff_t bands = (raw.height + band - 1) / band;
    pool->Run(bands, 0, 0, [&](std::ptrdiff_t k, WorkerPool::Memory) {
        convert(k * band, std::min(raw.height, (k + 1) * band));
    });
}

} // namespace pixconv
