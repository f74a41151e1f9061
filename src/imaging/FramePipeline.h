// The frame pipeline without a window: a raw Bayer frame becomes the display image, colour or gray, with
// the corrections the frame has switched on. The main frame runs it on every frame it draws and after a
// raw file is opened; ocuimage runs the very same code on recorded frames.
#pragma once

#include "display/Bitmap.h"
#include "imaging/ChannelLuts.h"

#include <cstdint>
#include <functional>

namespace ocu {

// Bayer conversion types and layouts as the menus and the raw-image library number them.
enum ConversionType : int {
    kConversionFast = 1,
    kConversionNormal = 3,
    kConversionEdgeSensing = 4,
    kConversionBest = 6
};

// Whether the next colour frame is converted. Fast converts every frame; the slower types convert every
// second one, so that the live picture keeps pace with the camera. `toggle` is the alternation (1: convert
// the next slow-type frame, 2: drop it); Fast leaves it alone, so a slow type resumes where it stood.
bool ConvertsThisFrame(int conversion, int& toggle);

// The alternation of the main frame's pipeline: one for the whole process, carried on across acquisitions
// and changes of type.
int& FrameToggle();

// Whether the pipeline can convert a frame of this size: the Bayer conversion takes any positive even width
// and height. A raw file of any other size is not opened, so that the display header and the image always
// agree.
bool PipelineAcceptsSize(int width, int height);

// The Bayer conversion and the gray levels write rows packed; a bitmap's rows end on whole 32-bit words.
// Where the two differ (a width that is no multiple of 4, from a raw file), this spreads the height rows
// of width pixels out in place to the bitmap's layout, zero-padded.
void PadRowsToDib(uint8_t* image, int width, int height, int bitCount);

// What the pipeline reads and changes for one frame, by reference into its owner's state. The image size
// W x H is the header's width and height; raw holds the frame, image room for the bitmap's rows (W x 3
// bytes, or W in gray, each padded to whole 32-bit words, as the header describes them).
struct FramePipeline {
    uint8_t* raw;
    uint8_t* image;
    // The frame in raw: W x H, or, for the frames of a bad-pixel detection or a template capture, which the
    // camera takes of the whole sensor, that larger size with the image's region at (regionLeft, regionTop).
    // 0 for W x H.
    int frameWidth = 0;
    int frameHeight = 0;
    BitmapInfoHeader& header; // gets the bit count of the image written
    const LutBlock& luts;     // red, green and blue go to the conversion
    int conversion;           // ConversionType
    int bayerLayout;          // 1 GBRG, 2 GRBG, 3 BGGR, 4 RGGB
    int imageMode;            // 0 colour, anything else gray
    const uint8_t* grayTable; // the mapped gray table, or null: the table's rule is computed instead
    int& frameToggle;         // the alternation of ConvertsThisFrame

    // Corrections, on the colour path only. The map and the template cover the sensor image of the current
    // mode; the frame is the region at (regionLeft, regionTop) of it.
    int sensorWidth;
    int sensorHeight;
    int regionLeft;
    int regionTop;
    uint8_t* badPixels;
    int32_t* patternNoise;
    int& getBadPixels;
    int& eraseBadPixels;
    int& getTemplate;
    int& templateCorrect;
    int& templateFrames;
    // Gives the camera back the region as its output window after a detection or a finished template,
    // which were taken of the whole sensor. May be empty.
    std::function<void()> restoreOutputWindow;
};

// Runs the pipeline on one frame. Gray: the colour conversion reduced to gray levels, no correction, no
// frame dropped. Colour: the every-second-frame rule of the slower types (a dropped frame leaves the image
// as it was), then bad-pixel detection and elimination and the pattern-noise template, in that order,
// then the conversion. A frame of the whole sensor is eliminated whole, serves the captures whole, and
// is then cut to the image's region in place, so that correction and conversion see the region they are
// told of rather than rows of the wider frame. Nothing happens without both buffers. True when the image
// was written from the frame, false for a dropped frame or missing buffers.
bool RunFramePipeline(FramePipeline& p);

// A frame of the header's size through the pipeline with no correction switched on and none dropped, as
// ocuimage converts a raw file: gray when `gray`, else colour by `conversion` in `bayerLayout`.
bool RunUncorrectedPipeline(uint8_t* raw, uint8_t* image, BitmapInfoHeader& header, const LutBlock& luts,
                            int conversion, int bayerLayout, bool gray);

} // namespace ocu
