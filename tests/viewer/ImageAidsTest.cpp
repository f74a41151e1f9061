// The Histogram window's measurements without a window: when a frame is sampled, what the readout says of
// a pixel, the figures of a sample, the focus rectangle, the sharpness trace and the clipping marks.
#include "display/ImageAids.h"

#include <QColor>
#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace ocu;

namespace {

// A 4 x 2 image from a raw frame: its display image bottom-up, 24 bits, each pixel (10x + y, 20, 30 + x).
struct TinyImage {
    std::array<uint8_t, 8> raw{10, 255, 0, 40, 50, 60, 70, 80};
    BitmapInfo info{};
    std::array<uint8_t, 4 * 2 * 3> bgr{};
    TinyImage() {
        InitBitmapInfo(info);
        info.bmiHeader.biWidth = 4;
        info.bmiHeader.biHeight = 2;
        info.bmiHeader.biBitCount = 24;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x) {
                uint8_t* p = &bgr[static_cast<size_t>(((1 - y) * 4 + x) * 3)];
                p[0] = static_cast<uint8_t>(30 + x), p[1] = 20, p[2] = static_cast<uint8_t>(10 * x + y);
            }
    }
    FrameImage Frame(int layout, bool withRaw = true) const {
        return FrameImage{withRaw ? raw.data() : nullptr, &info, bgr.data(), layout, 100, 50};
    }
};

} // namespace

TEST(ImageAids, SamplesTheFirstFrameThenOneEveryTenthOfASecondAcrossTheClocksWrap) {
    struct Case {
        uint32_t last, now;
        bool due;
    };
    for (const Case c : {Case{1000, 1099, false}, Case{1000, 1100, true}, Case{1000, 5000, true},
                         Case{0xFFFFFFC0u, 30, false}, Case{0xFFFFFFC0u, 36, true}}) {
        ImageAids aids;
        EXPECT_TRUE(aids.SampleDue(c.last)); // never sampled yet
        aids.Sample(FrameImage{}, c.last);
        EXPECT_EQ(aids.SampleDue(c.now), c.due) << c.last << " -> " << c.now;
    }
}

TEST(ImageAids, ReadoutGivesSensorPositionRawValueItsColourAndTheDisplayedPixel) {
    const TinyImage tiny;
    ImageAids aids;
    aids.Sample(tiny.Frame(2), 0);
    // GRBG: row 0 G R G R, row 1 B G B G.
    struct Case {
        QPoint pixel;
        int raw, channel;
    };
    for (const Case c : {Case{{0, 0}, 10, kAidGr}, Case{{1, 0}, 255, kAidR}, Case{{0, 1}, 50, kAidB},
                         Case{{3, 1}, 80, kAidGb}}) {
        const std::optional<PixelReadout> r = aids.Readout(tiny.Frame(2), c.pixel);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->sensorX, 100 + c.pixel.x());
        EXPECT_EQ(r->sensorY, 50 + c.pixel.y());
        EXPECT_EQ(r->raw, c.raw);
        EXPECT_EQ(r->channel, c.channel);
        EXPECT_EQ(r->r, 10 * c.pixel.x() + c.pixel.y()); // upright, though stored bottom-up
        EXPECT_EQ(r->b, 30 + c.pixel.x());
    }
    EXPECT_FALSE(aids.Readout(tiny.Frame(2), {4, 0}));
    EXPECT_FALSE(aids.Readout(tiny.Frame(2), {0, -1}));

    // An image from a file: no raw value, the colour of an 8-bit pixel through its table.
    BitmapInfo paletted = tiny.info;
    paletted.bmiHeader.biBitCount = 8;
    paletted.bmiColors[7] = RgbQuad{3, 2, 1, 0};
    const std::array<uint8_t, 8> indices{0, 0, 0, 0, 0, 7, 0, 0}; // rows of 4, padded to 4 bytes
    ImageAids fromFile;
    const FrameImage file{nullptr, &paletted, indices.data(), 2, 0, 0};
    fromFile.Sample(file, 0);
    const std::optional<PixelReadout> r = fromFile.Readout(file, {1, 0}); // stored in the second row
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->raw);
    EXPECT_EQ((std::array{r->r, r->g, r->b}), (std::array{1, 2, 3}));
    EXPECT_FALSE(fromFile.HasRaw());
    EXPECT_EQ(fromFile.Histograms()[kAidBrightness][0], 7u); // index 0, black
    EXPECT_EQ(fromFile.Histograms()[kAidBrightness][(77 + 150 * 2 + 29 * 3) / 256], 1u);
}

TEST(ImageAids, BayerChannelsFollowTheLayoutsNames) {
    const char* names[] = {"", "GBRG", "GRBG", "BGGR", "RGGB"};
    for (int layout = 1; layout <= 4; ++layout)
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) {
                const char c = names[layout][y * 2 + x];
                const char other = names[layout][y * 2 + 1 - x];
                const int expected = c == 'R' ? kAidR : c == 'B' ? kAidB : other == 'R' ? kAidGr : kAidGb;
                EXPECT_EQ(BayerChannelAt(layout, x + 6, y + 10), expected) << names[layout] << x << y;
            }
}

TEST(ImageAids, FocusRectangleFromADragAndTheSharpnessOverIt) {
    struct Case {
        QPoint from, to;
        Rect expected;
    };
    for (const Case c :
         {Case{{10, 20}, {30, 40}, {10, 20, 31, 41}}, Case{{30, 40}, {10, 20}, {10, 20, 31, 41}},
          Case{{-5, 50}, {20, 500}, {0, 50, 21, 100}}, Case{{10, 10}, {16, 60}, {}},
          Case{{10, 10}, {10, 10}, {}}})
        EXPECT_EQ(DragRect(c.from, c.to, 80, 100), c.expected) << c.from.x() << "," << c.from.y();

    // A frame whose right half has detail: measured there, then, once the rectangle is gone, over all of it.
    std::vector<uint8_t> raw(64 * 16, 100);
    for (int y = 0; y < 16; ++y)
        for (int x = 32; x < 64; ++x)
            raw[static_cast<size_t>(y * 64 + x)] = static_cast<uint8_t>((x / 2 + y / 2) % 2 ? 200 : 0);
    BitmapInfo info{};
    InitBitmapInfo(info);
    info.bmiHeader.biWidth = 64;
    info.bmiHeader.biHeight = 16;
    info.bmiHeader.biBitCount = 8;
    const std::vector<uint8_t> gray(64 * 16, 0);
    const FrameImage frame{raw.data(), &info, gray.data(), 2, 0, 0};
    ImageAids aids;
    aids.SetFocusRect(Rect{0, 0, 32, 16});
    aids.Sample(frame, 0);
    EXPECT_EQ(aids.Trace().Latest(), 0.0);
    aids.SetFocusRect(Rect{32, 0, 64, 16});
    EXPECT_EQ(aids.Trace().Count(), 0); // another rectangle, another trace
    aids.Sample(frame, 100);
    EXPECT_EQ(aids.MeasuredRect(), (Rect{32, 0, 64, 16}));
    EXPECT_GT(aids.Trace().Latest(), 10000.0);
    aids.SetFocusRect(Rect{60, 0, 200, 16}); // mostly off the image: the whole image instead
    aids.Sample(frame, 200);
    EXPECT_EQ(aids.MeasuredRect(), (Rect{0, 0, 64, 16}));
}

TEST(ImageAids, SharpnessTraceKeepsTheLastHundredAndItsPeak) {
    SharpnessTrace trace;
    for (int i = 0; i < 105; ++i)
        trace.Add(i == 50 ? 1000.0 : i);
    EXPECT_EQ(trace.Count(), SharpnessTrace::kLength);
    EXPECT_EQ(trace.At(0), 5.0);
    EXPECT_EQ(trace.Latest(), 104.0);
    EXPECT_EQ(trace.Peak(), 1000.0);
}

TEST(ImageAids, ClippingMarksOnlyOverTheClippedPixelsAndOnlyWhenOn) {
    const TinyImage tiny;
    ImageAids aids;
    aids.UpdateMarks(tiny.Frame(2));
    EXPECT_EQ(aids.Marks(), nullptr);
    aids.SetMarksOn(true);
    aids.UpdateMarks(tiny.Frame(2, false)); // an image from a file has nothing to mark
    EXPECT_EQ(aids.Marks(), nullptr);
    aids.UpdateMarks(tiny.Frame(2));
    const QImage* marks = aids.Marks();
    ASSERT_NE(marks, nullptr);
    ASSERT_EQ(marks->size(), QSize(4, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const uint8_t raw = tiny.raw[static_cast<size_t>(y * 4 + x)];
            const QRgb expected = raw == 255 ? kClippedHigh : raw == 0 ? kClippedLow : 0u;
            EXPECT_EQ(marks->pixel(x, y), expected) << x << "," << y;
        }
    aids.SetMarksOn(false);
    EXPECT_EQ(aids.Marks(), nullptr);
}
