// The last step of a conversion: pixels of red, green and blue levels passed through the caller's
// tables and written as blue, green, red. Scalar lookups, or, with AVX-512 VBMI, byte permutations of
// 64 pixels at a time.
#pragma once

#include "RgbWriter.h"

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#define PIXCONV_X86 1
#include <immintrin.h>
#endif

// Every function that takes or returns a vector is forced inline: an unoptimised build inlines
// nothing else, and a call from an AVX entry point into a function compiled for the baseline would pass
// the vectors in other registers than the callee reads them from. So no vector crosses a call, and the
// ABI note about passing them without AVX concerns nothing here.
#pragma GCC diagnostic ignored "-Wpsabi"

#define PIXCONV_INLINE inline __attribute__((always_inline))
#define PIXCONV_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi")))

namespace pixconv {

// Applies the tables pixel by pixel.
struct ScalarWriter {
    const PackedLut& lut;
    template <int kChunk>
    PIXCONV_INLINE void Write(uint8_t* pOut, const uint8_t* r, const uint8_t* g, const uint8_t* b) const {
        WritePixels(pOut, r, g, b, kChunk, lut);
    }
};

#ifdef PIXCONV_X86
// Where each of the 3 x 64 output bytes of 64 pixels comes from: blue and green from one two-register
// permutation, red blended in under a mask. The same for every table, so computed once, at compile time.
struct VbmiIndices {
    alignas(64) uint8_t blueGreen[3][64];
    alignas(64) uint8_t red[3][64];
    uint64_t redBytes[3];
};
inline constexpr VbmiIndices kVbmiIndices = [] {
    VbmiIndices t{};
    for (int v = 0; v < 3; ++v)
        for (int j = 0; j < 64; ++j) {
            const int byte = 64 * v + j, pixel = byte / 3, channel = byte % 3; // 0 blue, 1 green, 2 red
            t.blueGreen[v][j] = static_cast<uint8_t>(channel == 1 ? 64 + pixel : pixel);
            t.red[v][j] = static_cast<uint8_t>(pixel);
            if (channel == 2)
                t.redBytes[v] |= uint64_t{1} << j;
        }
    return t;
}();

// With AVX-512 VBMI a 256-entry byte table is four registers: two two-register permutations look up
// the lower and the upper half, the top bit of the index chooses. Two more permutations per 64 output
// bytes interleave blue, green and red.
struct VbmiWriter {
    __m512i tables[3][4]; // red, green, blue
    __m512i blueGreen[3], red[3];
    __mmask64 redBytes[3];

    PIXCONV_TARGET_AVX512 explicit VbmiWriter(const PackedLut& lut) {
        const uint8_t* const* luts = lut.tables;
        for (int c = 0; c < 3; ++c)
            for (int q = 0; q < 4; ++q)
                tables[c][q] = _mm512_loadu_si512(luts[c] + 64 * q);
        for (int v = 0; v < 3; ++v) {
            blueGreen[v] = _mm512_load_si512(kVbmiIndices.blueGreen[v]);
            red[v] = _mm512_load_si512(kVbmiIndices.red[v]);
            redBytes[v] = kVbmiIndices.redBytes[v];
        }
    }

    static PIXCONV_TARGET_AVX512 PIXCONV_INLINE __m512i Lookup(__m512i index, const __m512i table[4]) {
        const __m512i lower = _mm512_permutex2var_epi8(table[0], index, table[1]);
        const __m512i upper = _mm512_permutex2var_epi8(table[2], index, table[3]);
        return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), lower, upper);
    }

    // Not forced inline: the generic chunk code of the Fast kernel that calls it is compiled without
    // AVX-512 before it is inlined into the AVX-512 entry point, and GCC checks the targets at each step.
    template <int kChunk>
    PIXCONV_TARGET_AVX512 void Write(uint8_t* pOut, const uint8_t* r, const uint8_t* g,
                                     const uint8_t* b) const {
        static_assert(kChunk == 64);
        const __m512i vr = Lookup(_mm512_loadu_si512(r), tables[0]);
        const __m512i vg = Lookup(_mm512_loadu_si512(g), tables[1]);
        const __m512i vb = Lookup(_mm512_loadu_si512(b), tables[2]);
        for (int v = 0; v < 3; ++v) {
            const __m512i bg = _mm512_permutex2var_epi8(vb, blueGreen[v], vg);
            _mm512_storeu_si512(pOut + 64 * v, _mm512_mask_permutexvar_epi8(bg, redBytes[v], red[v], vr));
        }
    }
};

#endif

} // namespace pixconv
