// The display images a recording writes: from the viewer as they are, or developed from the raw mosaic.
#include "PixConv.h"
#include "Sink.h"

#include <array>
#include <cstring>

namespace ocurecord::detail {

size_t DibRowBytes(int width, int bitCount) {
    return (static_cast<size_t>(width) * static_cast<size_t>(bitCount) + 31) / 32 * 4;
}

int DevelopRaw(const Develop& develop, const uint8_t* raw, int width, int height, uint8_t* out) {
    if (develop.bayerLayout == 0) {
        // A monochrome sensor's samples are its gray levels; the display layout wants them bottom-up.
        const size_t row = static_cast<size_t>(width);
        const size_t dibRow = DibRowBytes(width, 8);
        for (int y = 0; y < height; ++y) {
            uint8_t* dst = out + static_cast<size_t>(height - 1 - y) * dibRow;
            std::memcpy(dst, raw + static_cast<size_t>(y) * row, row);
            std::memset(dst + row, 0, dibRow - row);
        }
        return 8;
    }
    ConvertBayer2Rgb(out, raw, width, height, develop.conversion, develop.luts[0].data(),
                     develop.luts[1].data(), develop.luts[2].data(), 1, develop.bayerLayout);
    return 24;
}

const uint8_t* GrayRamp() {
    static const std::array<uint8_t, 1024> ramp = [] {
        std::array<uint8_t, 1024> table{};
        for (size_t i = 0; i < 256; ++i) {
            table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = static_cast<uint8_t>(i);
            table[4 * i + 3] = 0;
        }
        return table;
    }();
    return ramp.data();
}

bool IsGrayRamp(const uint8_t* table) {
    return table == nullptr || std::memcmp(table, GrayRamp(), 1024) == 0;
}

void ExpandThroughTable(const uint8_t* pixels, const uint8_t* table, int width, int height, uint8_t* out) {
    const size_t inRow = DibRowBytes(width, 8);
    const size_t outRow = DibRowBytes(width, 24);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = pixels + static_cast<size_t>(y) * inRow;
        uint8_t* o = out + static_cast<size_t>(y) * outRow;
        for (int x = 0; x < width; ++x, o += 3)
            std::memcpy(o, table + 4 * in[x], 3);
        std::memset(o, 0, outRow - static_cast<size_t>(width) * 3);
    }
}

} // namespace ocurecord::detail
