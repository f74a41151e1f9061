// The Histogram window's measurements without a window: when a frame is sampled, what the readout says of
// a pixel, the figures of a sample, the focus rectangle, the sharpness trace and the clipping marks.
#include "display/ImageAids.h"

#include <array>
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

// What the window tests cannot reach: a region away from the sensor's corner, and an image from a file.
TEST(ImageAids, ReadoutCountsTheRegionsOffsetAndReadsAFilesColourTable) {
    const TinyImage tiny;
    ImageAids aids;
    aids.Sample(tiny.Frame(2), 0);
    const std::optional<PixelReadout> onSensor = aids.Readout(tiny.Frame(2), {3, 1});
    ASSERT_TRUE(onSensor);
    EXPECT_EQ(QPoint(onSensor->sensorX, onSensor->sensorY), QPoint(103, 51));
    EXPECT_EQ(onSensor->raw, 80);
    EXPECT_EQ(onSensor->channel, kAidGb);
    EXPECT_FALSE(aids.Readout(tiny.Frame(2), {4, 0}));

    // An 8-bit image from a file: no raw value, each pixel's colour and brightness through the table.
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

TEST(ImageAids, FocusRectangleFromADragCutToTheImage) {
    struct Case {
        QPoint from, to;
        Rect expected;
    };
    for (const Case c :
         {Case{{10, 20}, {30, 40}, {10, 20, 31, 41}}, Case{{30, 40}, {10, 20}, {10, 20, 31, 41}},
          Case{{-5, 50}, {20, 500}, {0, 50, 21, 100}}, Case{{10, 10}, {16, 60}, {}},
          Case{{10, 10}, {10, 10}, {}}})
        EXPECT_EQ(DragRect(c.from, c.to, 80, 100), c.expected) << c.from.x() << "," << c.from.y();

    // A rectangle that the image has shrunk from under is measured no longer: the whole image is.
    const TinyImage tiny;
    ImageAids aids;
    aids.SetFocusRect(Rect{2, 0, 200, 16});
    aids.Sample(tiny.Frame(2), 0);
    EXPECT_EQ(aids.MeasuredRect(), (Rect{0, 0, 4, 2}));
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
