// The exposure and focus aids of the Histogram window, without the window: a copy of the raw frame taken
// at most ten times a second, its histograms and figures, the pixel readout, the focus rectangle with its
// running sharpness, and the marks of clipped pixels that the view draws over the picture.
//
// None of it touches the display buffer: the marks are an image of their own, painted over the picture on
// the screen only, so they can never reach a saved file, a print or anything else taken from the buffer.
#pragma once

#include "display/Bitmap.h"
#include "frame/SizeRule.h"

#include <QImage>
#include <QPoint>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace ocu {

// The image the frame shows now, as the aids read it.
struct FrameImage {
    const uint8_t* raw = nullptr; // the raw frame the image was made from; null when it came from elsewhere
    const BitmapInfo* info = nullptr;
    const uint8_t* image = nullptr; // the display buffer, as info describes it
    int bayerLayout = 1;
    int regionLeft = 0; // where the image lies on the sensor
    int regionTop = 0;
};

// The channels of the figures: the raw frame's four Bayer channels, then the displayed brightness.
enum AidChannel : int { kAidR, kAidGr, kAidGb, kAidB, kAidBrightness, kAidChannels };
const char* AidChannelName(int channel);

// The Bayer channel (kAidR .. kAidB) of image pixel (x, y) in a layout: 1 GBRG, 2 GRBG, 3 BGGR, 4 RGGB.
int BayerChannelAt(int layout, int x, int y);

struct ChannelFigures {
    double mean = 0;
    double at0 = 0;   // share of the pixels at level 0, 0 to 1
    double at255 = 0; // share at 255: clipped
};

// What the window shows under the mouse.
struct PixelReadout {
    int sensorX = 0; // the region's offset included
    int sensorY = 0;
    std::optional<int> raw;  // none when the image did not come from a raw frame
    int channel = kAidR;     // the raw pixel's Bayer channel
    int r = 0, g = 0, b = 0; // as displayed
};

// The sharpness of the last samples, oldest first, for a short running graph.
class SharpnessTrace {
public:
    static constexpr int kLength = 100; // ten seconds at ten samples a second

    void Add(double value);
    void Clear() { m_count = 0; }
    int Count() const { return m_count; }
    // The i-th value, 0 the oldest kept.
    double At(int i) const;
    double Latest() const { return m_count ? At(m_count - 1) : 0.0; }
    double Peak() const;

private:
    std::array<double, kLength> m_values{};
    int m_next = 0;
    int m_count = 0;
};

// A rectangle dragged over the image, from and to image pixels: normalised and cut to the image. A drag
// shorter than kMinFocusSide in either direction is a click, which gives an empty rectangle: the whole
// image.
inline constexpr int kMinFocusSide = 8;
Rect DragRect(QPoint from, QPoint to, int imageWidth, int imageHeight);

// Marks over a width x height image: pixels whose raw sample is 255 in kClippedHigh, 0 in kClippedLow, the
// rest transparent. The overlay keeps its memory from one frame to the next and is re-sized only when the
// image size changes.
inline constexpr QRgb kClippedHigh = 0xFFFF0000; // red
inline constexpr QRgb kClippedLow = 0xFF0000FF;  // blue
void RenderClipMarks(QImage& overlay, const uint8_t* raw, int width, int height);

class ImageAids {
public:
    static constexpr uint32_t kSampleIntervalMs = 100;

    // Whether a frame shown at nowMs is due to be sampled: the first one, then one every interval.
    bool SampleDue(uint32_t nowMs) const;
    // Copies the raw frame (when the image came from one), counts, measures and adds to the sharpness trace.
    void Sample(const FrameImage& frame, uint32_t nowMs);
    // The clipping marks follow every image, not only the sampled ones, so that they stay on the picture.
    void UpdateMarks(const FrameImage& frame);

    // The readout at image pixel (x, y), or none outside the image.
    std::optional<PixelReadout> Readout(const FrameImage& frame, QPoint pixel) const;

    // The focus rectangle in image pixels; empty for the whole image. A new one starts a new trace.
    void SetFocusRect(const Rect& rect);
    const Rect& FocusRect() const { return m_focusRect; }
    // The rectangle the sharpness was last measured over.
    const Rect& MeasuredRect() const { return m_measuredRect; }

    bool MarksOn() const { return m_marksOn; }
    void SetMarksOn(bool on);
    // The marks to paint over the picture, or null when there are none (off, or no raw frame).
    const QImage* Marks() const;

    bool HasSample() const { return m_sampled; }
    bool HasRaw() const { return m_rawWidth > 0; }
    const std::array<std::array<uint32_t, 256>, kAidChannels>& Histograms() const { return m_histograms; }
    const std::array<ChannelFigures, kAidChannels>& Figures() const { return m_figures; }
    const SharpnessTrace& Trace() const { return m_trace; }

    // Where the mouse is over the image, in image pixels, for the readout to follow frames under a still
    // mouse; none when it is elsewhere.
    std::optional<QPoint> mouse;
    // A rectangle being dragged, from its first corner, in image pixels.
    std::optional<QPoint> dragFrom;
    std::optional<QPoint> dragTo;

private:
    void CopyRaw(const uint8_t* raw, int width, int height);

    bool m_sampled = false;
    uint32_t m_lastSampleMs = 0;
    // The sampled raw frame, in memory that grows to the largest frame and then stays.
    std::unique_ptr<uint8_t[]> m_raw;
    size_t m_rawCapacity = 0;
    int m_rawWidth = 0; // 0: the image came from no raw frame
    int m_rawHeight = 0;
    int m_rawLayout = 1;
    std::array<std::array<uint32_t, 256>, kAidChannels> m_histograms{};
    std::array<ChannelFigures, kAidChannels> m_figures{};
    Rect m_focusRect;
    Rect m_measuredRect;
    SharpnessTrace m_trace;
    bool m_marksOn = false;
    bool m_marksValid = false;
    QImage m_marks;
};

} // namespace ocu
