// The frame pipeline without a window.
#include "imaging/FramePipeline.h"

#include "PixConv.h"
#include "imaging/YuvLut.h"

#include <algorithm>
#include <cstring>

namespace ocu {

bool ConvertsThisFrame(int conversion, int& toggle) {
    if (conversion == kConversionFast)
        return true;
    if (toggle % 2 == 0) {
        toggle = 1;
        return false;
    }
    toggle = 2;
    return true;
}

int& FrameToggle() {
    static int toggle = 1;
    return toggle;
}

bool PipelineAcceptsSize(int width, int height) {
    return width > 0 && height > 0 && width % 2 == 0 && height % 2 == 0;
}

namespace {

// Moves the width x height region at (left, top) of a wider frame to the frame's start, row by row; each
// row lands at or before where it was read, so nothing is overwritten before it is moved.
void CutToRegion(uint8_t* raw, int frameWidth, int left, int top, int width, int height) {
    for (int y = 0; y < height; ++y)
        std::memmove(raw + static_cast<size_t>(y) * static_cast<size_t>(width),
                     raw + (static_cast<size_t>(top + y) * static_cast<size_t>(frameWidth) +
                            static_cast<size_t>(left)),
                     static_cast<size_t>(width));
}

} // namespace

// Each row lands at or after where it was written, so the rows are spread out from the last one down.
void PadRowsToDib(uint8_t* image, int width, int height, int bitCount) {
    const size_t packed = static_cast<size_t>(width) * static_cast<size_t>(bitCount / 8);
    const size_t padded = DibRowBytes(width, bitCount);
    if (packed == padded)
        return;
    for (int y = height - 1; y >= 0; --y) {
        uint8_t* row = image + static_cast<size_t>(y) * padded;
        std::memmove(row, image + static_cast<size_t>(y) * packed, packed);
        std::fill(row + packed, row + padded, uint8_t{0});
    }
}

bool RunFramePipeline(FramePipeline& p) {
    const int width = p.header.biWidth;
    const int height = p.header.biHeight;
    if (p.raw == nullptr || p.image == nullptr)
        return false;
    // A frame of the whole sensor, wider or taller than the image, that holds the image's region.
    const int frameWidth = p.frameWidth > 0 ? p.frameWidth : width;
    const int frameHeight = p.frameHeight > 0 ? p.frameHeight : height;
    const bool wholeSensor = (frameWidth != width || frameHeight != height) && width > 0 && height > 0 &&
                             p.regionLeft >= 0 && p.regionTop >= 0 && p.regionLeft + width <= frameWidth &&
                             p.regionTop + height <= frameHeight;
    const auto cutToRegion = [&] {
        if (wholeSensor)
            CutToRegion(p.raw, frameWidth, p.regionLeft, p.regionTop, width, height);
    };
    const auto convert = [&] {
        ConvertBayer2Rgb(p.image, p.raw, width, height, p.conversion, p.luts[kLutRed].data(),
                         p.luts[kLutGreen].data(), p.luts[kLutBlue].data(), 1, p.bayerLayout);
    };
    const auto restoreOutputWindow = [&] {
        if (p.restoreOutputWindow)
            p.restoreOutputWindow();
    };

    if (p.imageMode != 0) {
        // Black and white: no correction runs and no frame is dropped; pending captures wait for a colour
        // frame.
        p.header.biBitCount = 8;
        cutToRegion();
        convert();
        if (width > 0 && height > 0) {
            BgrToGray(p.image, p.image, static_cast<size_t>(width) * static_cast<size_t>(height),
                      p.grayTable);
            PadRowsToDib(p.image, width, height, 8);
        }
        return true;
    }

    p.header.biBitCount = 24;
    if (!ConvertsThisFrame(p.conversion, p.frameToggle))
        return false;
    if (p.getBadPixels) {
        DetectDeadPixel(p.raw, p.badPixels, p.sensorWidth, p.sensorHeight);
        p.getBadPixels = 0;
        restoreOutputWindow();
    }
    if (p.eraseBadPixels && wholeSensor)
        EraseDeadPixel(p.raw, p.badPixels, 0, 0, frameWidth, frameHeight, p.sensorWidth, p.sensorHeight);
    else if (p.eraseBadPixels)
        EraseDeadPixel(p.raw, p.badPixels, p.regionLeft, p.regionTop, width, height, p.sensorWidth,
                       p.sensorHeight);
    if (p.getTemplate) {
        if (p.templateFrames == 0 && p.patternNoise != nullptr)
            std::fill_n(p.patternNoise,
                        static_cast<size_t>(p.sensorWidth) * static_cast<size_t>(p.sensorHeight), 0);
        GetPatternNoise(p.raw, p.patternNoise, p.sensorWidth, p.sensorHeight);
        if (++p.templateFrames >= 10) {
            AvgPatternNoise(p.patternNoise, p.sensorWidth, p.sensorHeight, 10);
            p.getTemplate = 0;
            p.templateFrames = 0;
            restoreOutputWindow();
        }
    }
    cutToRegion();
    if (p.templateCorrect)
        FixPatternNoise(p.raw, p.patternNoise, p.regionLeft, p.regionTop, width, height, p.sensorWidth,
                        p.sensorHeight);
    convert();
    PadRowsToDib(p.image, width, height, 24);
    return true;
}

bool RunUncorrectedPipeline(uint8_t* raw, uint8_t* image, BitmapInfoHeader& header, const LutBlock& luts,
                            int conversion, int bayerLayout, bool gray) {
    int toggle = 1; // converts: a slower type's alternation starts on a frame it converts
    int off = 0;
    int frames = 0;
    FramePipeline pipeline{.raw = raw,
                           .image = image,
                           .header = header,
                           .luts = luts,
                           .conversion = conversion,
                           .bayerLayout = bayerLayout,
                           .imageMode = gray ? 1 : 0,
                           .grayTable = nullptr,
                           .frameToggle = toggle,
                           .sensorWidth = header.biWidth,
                           .sensorHeight = header.biHeight,
                           .regionLeft = 0,
                           .regionTop = 0,
                           .badPixels = nullptr,
                           .patternNoise = nullptr,
                           .getBadPixels = off,
                           .eraseBadPixels = off,
                           .getTemplate = off,
                           .templateCorrect = off,
                           .templateFrames = frames,
                           .restoreOutputWindow = {}};
    return RunFramePipeline(pipeline);
}

} // namespace ocu
