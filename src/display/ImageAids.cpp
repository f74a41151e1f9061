#include "display/ImageAids.h"

#include "PixConv.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace ocu {

namespace {

// The image's rows as the header describes them: height, row bytes, and where the upright row y starts.
struct DibRows {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    size_t stride = 0;
    bool bottomUp = true;
    const uint8_t* Row(const uint8_t* bits, int y) const {
        const int stored = bottomUp ? height - 1 - y : y;
        return bits + static_cast<size_t>(stored) * stride;
    }
};

std::optional<DibRows> RowsOf(const FrameImage& frame) {
    if (frame.info == nullptr || frame.image == nullptr)
        return std::nullopt;
    const BitmapInfoHeader& h = frame.info->bmiHeader;
    if (h.biWidth <= 0 || h.biHeight == 0 || (h.biBitCount != 8 && h.biBitCount != 24))
        return std::nullopt;
    DibRows rows;
    rows.width = h.biWidth;
    rows.height = std::abs(h.biHeight);
    rows.bitCount = h.biBitCount;
    rows.stride = DibRowBytes(rows.width, rows.bitCount);
    rows.bottomUp = h.biHeight > 0;
    return rows;
}

ChannelFigures FiguresOf(const std::array<uint32_t, 256>& histogram) {
    ChannelFigures f;
    GetHistogramStats(histogram.data(), &f.mean, &f.at0, &f.at255);
    return f;
}

// The displayed brightness: the pixels' luma; an 8-bit image through its colour table.
void CountBrightness(const FrameImage& frame, const DibRows& rows, std::array<uint32_t, 256>& out) {
    GetBrightnessHistogram(frame.image, rows.width, rows.height, static_cast<int>(rows.stride), rows.bitCount,
                           out.data());
    if (rows.bitCount != 8 || HasGrayTable(*frame.info))
        return;
    // Counted by index: each index's count goes to the brightness of its colour, by the library's luma.
    const std::array<uint32_t, 256> byIndex = out;
    out.fill(0);
    for (size_t i = 0; i < 256; ++i) {
        const RgbQuad& c = frame.info->bmiColors[i];
        out[(77u * c.rgbRed + 150u * c.rgbGreen + 29u * c.rgbBlue) >> 8] += byIndex[i];
    }
}

} // namespace

const char* AidChannelName(int channel) {
    static constexpr const char* kNames[kAidChannels] = {"R", "Gr", "Gb", "B", "Brightness"};
    return channel >= 0 && channel < kAidChannels ? kNames[channel] : "";
}

int BayerChannelAt(int layout, int x, int y) {
    // Where red sits in the 2 x 2 cell; unknown layouts are GBRG, as for the conversion.
    int redX = 0, redY = 1;
    switch (layout) {
    case 2: // GRBG
        redX = 1, redY = 0;
        break;
    case 3: // BGGR
        redX = 1, redY = 1;
        break;
    case 4: // RGGB
        redX = 0, redY = 0;
        break;
    default: // GBRG
        break;
    }
    const bool redColumn = (x & 1) == redX;
    if ((y & 1) == redY)
        return redColumn ? kAidR : kAidGr;
    return redColumn ? kAidGb : kAidB;
}

void SharpnessTrace::Add(double value) {
    m_values[static_cast<size_t>(m_next)] = value;
    m_next = (m_next + 1) % kLength;
    m_count = std::min(m_count + 1, kLength);
}

double SharpnessTrace::At(int i) const {
    const int oldest = (m_next - m_count + kLength) % kLength;
    return m_values[static_cast<size_t>((oldest + i) % kLength)];
}

double SharpnessTrace::Peak() const {
    double peak = 0;
    for (int i = 0; i < m_count; ++i)
        peak = std::max(peak, At(i));
    return peak;
}

Rect DragRect(QPoint from, QPoint to, int imageWidth, int imageHeight) {
    const int left = std::clamp(std::min(from.x(), to.x()), 0, imageWidth);
    const int right = std::clamp(std::max(from.x(), to.x()) + 1, 0, imageWidth);
    const int top = std::clamp(std::min(from.y(), to.y()), 0, imageHeight);
    const int bottom = std::clamp(std::max(from.y(), to.y()) + 1, 0, imageHeight);
    if (right - left < kMinFocusSide || bottom - top < kMinFocusSide)
        return {};
    return Rect{left, top, right, bottom};
}

void RenderClipMarks(QImage& overlay, const uint8_t* raw, int width, int height) {
    if (overlay.width() != width || overlay.height() != height ||
        overlay.format() != QImage::Format_ARGB32_Premultiplied)
        overlay = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    if (overlay.isNull() || raw == nullptr)
        return;
    std::array<QRgb, 256> colours{};
    colours[0] = kClippedLow;
    colours[255] = kClippedHigh;
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(overlay.scanLine(y));
        const uint8_t* in = raw + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x)
            out[x] = colours[in[x]];
    }
}

bool ImageAids::SampleDue(uint32_t nowMs) const {
    return !m_sampled || nowMs - m_lastSampleMs >= kSampleIntervalMs;
}

void ImageAids::CopyRaw(const uint8_t* raw, int width, int height) {
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (bytes > m_rawCapacity) {
        m_raw = std::make_unique_for_overwrite<uint8_t[]>(bytes);
        m_rawCapacity = bytes;
    }
    std::memcpy(m_raw.get(), raw, bytes);
    m_rawWidth = width;
    m_rawHeight = height;
}

void ImageAids::Sample(const FrameImage& frame, uint32_t nowMs) {
    m_sampled = true;
    m_lastSampleMs = nowMs;
    for (auto& h : m_histograms)
        h.fill(0);
    m_figures = {};
    m_rawWidth = m_rawHeight = 0;
    const std::optional<DibRows> rows = RowsOf(frame);
    if (!rows)
        return;

    CountBrightness(frame, *rows, m_histograms[kAidBrightness]);
    m_figures[kAidBrightness] = FiguresOf(m_histograms[kAidBrightness]);
    if (frame.raw == nullptr)
        return;

    CopyRaw(frame.raw, rows->width, rows->height);
    m_rawLayout = frame.bayerLayout;
    std::array<uint32_t, 4 * 256> raw{};
    GetRawHistograms(m_raw.get(), m_rawWidth, m_rawHeight, m_rawLayout, raw.data());
    for (int c = 0; c < 4; ++c) {
        std::copy_n(raw.begin() + c * 256, 256, m_histograms[static_cast<size_t>(c)].begin());
        m_figures[static_cast<size_t>(c)] = FiguresOf(m_histograms[static_cast<size_t>(c)]);
    }

    // The focus rectangle where it still lies on the image, else the whole image.
    Rect area{std::max(m_focusRect.left, 0), std::max(m_focusRect.top, 0),
              std::min(m_focusRect.right, m_rawWidth), std::min(m_focusRect.bottom, m_rawHeight)};
    if (area.Width() < kMinFocusSide || area.Height() < kMinFocusSide)
        area = Rect{0, 0, m_rawWidth, m_rawHeight};
    if (!(area == m_measuredRect))
        m_trace.Clear();
    m_measuredRect = area;
    double sharpness = 0;
    if (GetSharpness(m_raw.get(), m_rawWidth, m_rawHeight, area.left, area.top, area.Width(), area.Height(),
                     m_rawLayout, &sharpness))
        m_trace.Add(sharpness);
}

void ImageAids::UpdateMarks(const FrameImage& frame) {
    m_marksValid = false;
    if (!m_marksOn || frame.raw == nullptr)
        return;
    const std::optional<DibRows> rows = RowsOf(frame);
    if (!rows)
        return;
    RenderClipMarks(m_marks, frame.raw, rows->width, rows->height);
    m_marksValid = !m_marks.isNull();
}

void ImageAids::SetMarksOn(bool on) {
    m_marksOn = on;
    if (!on) {
        m_marksValid = false;
        m_marks = QImage(); // its memory goes with the marks
    }
}

const QImage* ImageAids::Marks() const {
    return m_marksOn && m_marksValid ? &m_marks : nullptr;
}

void ImageAids::SetFocusRect(const Rect& rect) {
    if (!(rect == m_focusRect))
        m_trace.Clear();
    m_focusRect = rect;
}

std::optional<PixelReadout> ImageAids::Readout(const FrameImage& frame, QPoint pixel) const {
    const std::optional<DibRows> rows = RowsOf(frame);
    if (!rows || pixel.x() < 0 || pixel.y() < 0 || pixel.x() >= rows->width || pixel.y() >= rows->height)
        return std::nullopt;
    PixelReadout r;
    r.sensorX = frame.regionLeft + pixel.x();
    r.sensorY = frame.regionTop + pixel.y();
    r.channel = BayerChannelAt(frame.bayerLayout, pixel.x(), pixel.y());
    if (m_rawWidth == rows->width && m_rawHeight == rows->height)
        r.raw = m_raw[static_cast<size_t>(pixel.y()) * static_cast<size_t>(m_rawWidth) +
                      static_cast<size_t>(pixel.x())];
    const uint8_t* row = rows->Row(frame.image, pixel.y());
    if (rows->bitCount == 24) {
        const uint8_t* p = row + 3 * pixel.x();
        r.b = p[0], r.g = p[1], r.r = p[2];
    } else {
        const RgbQuad& c = frame.info->bmiColors[row[pixel.x()]];
        r.b = c.rgbBlue, r.g = c.rgbGreen, r.r = c.rgbRed;
    }
    return r;
}

} // namespace ocu
