// The viewer's state that the image files touch, for the tests of the readers and writers without a window.
#pragma once

#include "display/ImageFiles.h"

#include <cstdint>
#include <vector>

namespace ocu::test {

using Bytes = std::vector<uint8_t>;

// The viewer's state that the files touch, with buffers for a sensor image of 1280 x 1024.
struct Viewer {
    explicit Viewer(uint8_t fill = 0x11) : limits(LimitsForSensor(1280, 1024)) {
        InitBitmapInfo(info);
        image.assign(limits.imageBytes, fill);
        raw.assign(limits.rawBytes, static_cast<uint8_t>(fill + 1));
    }
    // A w x h image of the given bit count with distinct pixels, as a frame would leave it.
    void Picture(int width, int height, int bitCount) {
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;
        info.bmiHeader.biBitCount = static_cast<uint16_t>(bitCount);
        for (size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<uint8_t>(i * 7 + i / 4096);
        for (size_t i = 0; i < raw.size(); ++i)
            raw[i] = static_cast<uint8_t>(i * 3 + i / 1000);
    }
    Bytes HeaderBytes() const {
        const auto* p = reinterpret_cast<const uint8_t*>(&info);
        return Bytes(p, p + sizeof info);
    }

    ImageLimits limits;
    BitmapInfo info{};
    Bytes image;
    Bytes raw;
};

// The colour a pixel of the display image shows, addressed in the upright picture (row 0 at the top): its
// blue, green and red, through the colour table for 8-bit images.
struct Colour {
    int b = 0;
    int g = 0;
    int r = 0;
    bool operator==(const Colour&) const = default;
};
inline Colour ShownColour(const Viewer& viewer, int x, int y) {
    const BitmapInfoHeader& h = viewer.info.bmiHeader;
    const size_t row = static_cast<size_t>(h.biHeight - 1 - y) * DibRowBytes(h.biWidth, h.biBitCount);
    if (h.biBitCount == 8) {
        const RgbQuad& c = viewer.info.bmiColors[viewer.image[row + static_cast<size_t>(x)]];
        return {c.rgbBlue, c.rgbGreen, c.rgbRed};
    }
    const uint8_t* p = viewer.image.data() + row + static_cast<size_t>(x) * 3;
    return {p[0], p[1], p[2]};
}

} // namespace ocu::test
