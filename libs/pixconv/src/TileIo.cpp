// Into and out of a tile's planes: raw samples in, levels through the tables out. Each frame passes
// through here once, so these loops are compiled for the better instruction sets too.
#include "TableWriters.h"
#include "Tiles.h"

namespace pixconv {

PIXCONV_VECTOR_CLONES void LoadTile(const RawImage& raw, const TilePlace& place, const Tile& tile,
                                    float* cfa) {
    for (std::ptrdiff_t y = 0; y < tile.height; ++y)
        LoadRow(raw, Mirror(place.y - place.pad + y, raw.height), place.x - place.pad, cfa + y * tile.width,
                tile.width);
}

namespace {

template <typename Writer, int kChunk>
PIXCONV_INLINE void StoreRows(const RawImage& raw, const TilePlace& place, const Tile& tile,
                              const TileResult& rgb, uint8_t* pDst, const PackedLut& lut, uint8_t* row8,
                              const Writer& writer) {
    uint8_t* r8 = row8;
    uint8_t* g8 = r8 + place.w;
    uint8_t* b8 = g8 + place.w;
    for (std::ptrdiff_t y = 0; y < place.h; ++y) {
        const std::ptrdiff_t i = (y + place.pad) * tile.width + place.pad;
        ToLevels(rgb.r + i, r8, place.w);
        ToLevels(rgb.g + i, g8, place.w);
        ToLevels(rgb.b + i, b8, place.w);
        uint8_t* pOut = pDst + ((raw.height - 1 - place.y - y) * raw.width + place.x) * 3;
        std::ptrdiff_t x = 0;
        for (; x + kChunk <= place.w; x += kChunk)
            writer.template Write<kChunk>(pOut + 3 * x, r8 + x, g8 + x, b8 + x);
        WritePixels(pOut + 3 * x, r8 + x, g8 + x, b8 + x, static_cast<std::size_t>(place.w - x), lut);
    }
}

void StoreBaseline(const RawImage& raw, const TilePlace& place, const Tile& tile, const TileResult& rgb,
                   uint8_t* pDst, const PackedLut& lut, uint8_t* row8) {
    StoreRows<ScalarWriter, 8>(raw, place, tile, rgb, pDst, lut, row8, ScalarWriter{lut});
}

#ifdef PIXCONV_X86
__attribute__((target("avx2"))) void StoreAvx2(const RawImage& raw, const TilePlace& place, const Tile& tile,
                                               const TileResult& rgb, uint8_t* pDst, const PackedLut& lut,
                                               uint8_t* row8) {
    StoreRows<ScalarWriter, 8>(raw, place, tile, rgb, pDst, lut, row8, ScalarWriter{lut});
}

PIXCONV_TARGET_AVX512 void StoreVbmi(const RawImage& raw, const TilePlace& place, const Tile& tile,
                                     const TileResult& rgb, uint8_t* pDst, const PackedLut& lut,
                                     uint8_t* row8) {
    const VbmiWriter writer(lut);
    StoreRows<VbmiWriter, 64>(raw, place, tile, rgb, pDst, lut, row8, writer);
}
#endif

} // namespace

void StoreTile(const RawImage& raw, const TilePlace& place, const Tile& tile, const TileResult& rgb,
               uint8_t* pDst, const PackedLut& lut, uint8_t* row8) {
    switch (BestFastPath()) {
#ifdef PIXCONV_X86
    case FastPath::kAvx512Vbmi:
        StoreVbmi(raw, place, tile, rgb, pDst, lut, row8);
        break;
    case FastPath::kAvx2:
        StoreAvx2(raw, place, tile, rgb, pDst, lut, row8);
        break;
#endif
    default:
        StoreBaseline(raw, place, tile, rgb, pDst, lut, row8);
        break;
    }
}

} // namespace pixconv
