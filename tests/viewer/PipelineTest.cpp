// The frame pipeline: colour from the real camera's frames, the every-second-frame rule, the corrections in
// their order, and the black-and-white path.
#include "LiveTestSupport.h"
#include "OcuSnapTesting.h"
#include "PixConv.h"
#include "camera/Exposure.h"
#include "frame/CommandIds.h"
#include "imaging/FramePipeline.h"
#include "imaging/YuvLut.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

using namespace ocu;
using namespace ocu::test;
using Calls = std::vector<std::string>;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

enum class Dominant { Red, Green, Blue };

Dominant DominantOf(Bgr p) {
    if (p.r > p.g && p.r > p.b)
        return Dominant::Red;
    return p.g > p.b ? Dominant::Green : Dominant::Blue;
}

// A frame that owns buffers of kWidth x kHeight and no camera.
class Pipeline : public ::testing::Test {
protected:
    void SetUp() override {
        GiveBuffers(frame, kWidth, kHeight);
        FillRaw(40);
    }
    void FillRaw(uint8_t level) { std::fill_n(frame.m_pRawBuffer.get(), kWidth * kHeight, level); }
    uint8_t& Raw(int x, int y) { return frame.m_pRawBuffer[static_cast<size_t>(y) * kWidth + x]; }
    std::vector<uint8_t> Image(size_t bytes) const {
        return std::vector<uint8_t>(frame.m_pImageBuffer.get(), frame.m_pImageBuffer.get() + bytes);
    }
    // Runs the pipeline on a sentinel image; true when the frame was converted.
    bool Converted() {
        std::fill_n(frame.m_pImageBuffer.get(), kWidth * kHeight * 3, 0xA5);
        frame.ProcessFrame();
        return frame.m_pImageBuffer[0] != 0xA5;
    }

    CMainFrame frame;
};

} // namespace

TEST_F(Pipeline, SlowTypesConvertEverySecondFrameAndFastResumesTheAlternation) {
    frame.m_nConversion = kConversionNormal;
    // The alternation belongs to the process; find where it stands.
    if (!Converted()) {
        ASSERT_TRUE(Converted());
    }
    std::vector<bool> seen;
    for (const int type : {kConversionBest, kConversionEdgeSensing, kConversionNormal, kConversionFast,
                           kConversionFast, kConversionFast, kConversionNormal, kConversionBest}) {
        frame.m_nConversion = type;
        seen.push_back(Converted());
    }
    EXPECT_EQ(seen, (std::vector<bool>{false, true, false, true, true, true, true, false}));
}

TEST_F(Pipeline, ADroppedFrameKeepsThePreviousImageButSetsTwentyFourBits) {
    frame.m_nConversion = kConversionNormal;
    if (!Converted()) {
        ASSERT_TRUE(Converted());
    }
    frame.m_pBmpInfo->bmiHeader.biBitCount = 8;
    std::fill_n(frame.m_pImageBuffer.get(), kWidth * kHeight * 3, 0x5A);
    frame.ProcessFrame();
    EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biBitCount, 24);
    EXPECT_EQ(Image(kWidth * kHeight * 3), std::vector<uint8_t>(kWidth * kHeight * 3, 0x5A));
}

TEST_F(Pipeline, ADetectionIsServedFirstAndItsFrameIsErasedWithTheNewMap) {
    Raw(21, 17) = 250; // a hot pixel in a dark frame
    frame.m_bGetBadPixels = 1;
    frame.m_bEraseBadPixels = 1;
    frame.ProcessFrame();
    EXPECT_EQ(frame.m_bGetBadPixels, 0);
    EXPECT_EQ(frame.m_pBadPixels[17 * kWidth + 21], PIX_PIXEL_HOT);
    EXPECT_EQ(Raw(21, 17), 40); // repaired before the conversion
    EXPECT_EQ(DisplayPixel(frame, 21, 17).g, 40);
}

TEST_F(Pipeline, ATemplateIsTenFramesFromAClearedStartAndCorrectsTheFrameThatCompletesIt) {
    // A column pattern over a flat field: even columns 4 levels brighter.
    const auto patterned = [&] {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                Raw(x, y) = static_cast<uint8_t>(x % 4 < 2 ? 104 : 100);
    };
    std::fill_n(frame.m_pPatternNoise.get(), kWidth * kHeight, 12345); // left over from an earlier capture
    frame.m_bGetTemplate = 1;
    frame.m_bTemplateCorrect = 1;
    for (int i = 1; i <= 9; ++i) {
        patterned();
        frame.ProcessFrame();
        // Frames being added change nothing yet.
        ASSERT_EQ(Raw(0, 0), 104) << i;
        ASSERT_EQ(frame.m_nTemplateFrames, i);
    }
    EXPECT_EQ(frame.m_pPatternNoise[0], 9 * 104); // the capture started from a cleared template
    patterned();
    frame.ProcessFrame();
    EXPECT_EQ(frame.m_bGetTemplate, 0);
    EXPECT_EQ(frame.m_nTemplateFrames, 0);
    EXPECT_GE(frame.m_pPatternNoise[0], PIX_TEMPLATE_ZERO);
    // The tenth frame is already corrected with the finished template.
    EXPECT_EQ(Raw(0, 0), Raw(2, 0));
    EXPECT_EQ(Raw(1, 1), Raw(3, 1));
}

TEST_F(Pipeline, BlackAndWhiteIsTheGrayOfTheColourConversion) {
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            Raw(x, y) = static_cast<uint8_t>((x * 7 + y * 13) & 0xFF);
    const std::vector<uint8_t> raw(frame.m_pRawBuffer.get(), frame.m_pRawBuffer.get() + kWidth * kHeight);
    frame.ProcessFrame();
    const std::vector<uint8_t> colour = Image(kWidth * kHeight * 3);
    std::vector<uint8_t> expected(kWidth * kHeight);
    BgrToGray(expected.data(), colour.data(), expected.size(), nullptr);

    // Without the table file, with the table, and with a table that holds something else entirely.
    const TempDir dir;
    WriteText(dir.File("other.dat"), std::string(kYuvLutSize, '\x33'));
    frame.m_nImageMode = 1;
    for (const char* table : {"", "built.dat", "other.dat"}) {
        if (table[0] != '\0')
            frame.m_pYUVLut = frame.MapYUVLut(dir.File(table));
        std::copy(raw.begin(), raw.end(), frame.m_pRawBuffer.get());
        frame.ProcessFrame();
        EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biBitCount, 8);
        const std::vector<uint8_t> gray = Image(kWidth * kHeight);
        if (std::string(table) == "other.dat")
            EXPECT_EQ(gray, std::vector<uint8_t>(gray.size(), 0x33));
        else
            EXPECT_EQ(gray, expected) << table;
    }
}

TEST_F(Pipeline, BlackAndWhiteLeavesCorrectionsAndPendingCapturesWaiting) {
    Raw(21, 17) = 250;
    frame.m_nImageMode = 1;
    frame.m_bGetBadPixels = 1;
    frame.m_bEraseBadPixels = 1;
    frame.m_bGetTemplate = 1;
    frame.m_bTemplateCorrect = 1;
    frame.m_nConversion = kConversionBest;
    frame.ProcessFrame();
    frame.ProcessFrame(); // no frame is dropped either: both are converted
    EXPECT_EQ(frame.m_bGetBadPixels, 1);
    EXPECT_EQ(frame.m_bGetTemplate, 1);
    EXPECT_EQ(frame.m_nTemplateFrames, 0);
    EXPECT_EQ(frame.m_pBadPixels[17 * kWidth + 21], PIX_PIXEL_GOOD);
    EXPECT_EQ(Raw(21, 17), 250);
    EXPECT_GT(DisplayGray(frame, 21, 17), 100);

    // The next colour frame serves them.
    frame.m_nImageMode = 0;
    frame.m_nConversion = kConversionFast;
    frame.ProcessFrame();
    EXPECT_EQ(frame.m_bGetBadPixels, 0);
    EXPECT_EQ(frame.m_nTemplateFrames, 1);
}

namespace {

class PipelineOnTheCamera : public ViewerTest {};

} // namespace

TEST_F(PipelineOnTheCamera, AServedCaptureRestoresTheRegionAsTheOutputWindow) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 640, 480);
    const std::string region = "OcuSetOutputWindow(0, 0, 640, 480)";
    // The exposure goes back to the region's lines before the region itself.
    const std::string exposure =
        "OcuAECControl(1, " + std::to_string(ExposureValue(ExposureInput{2, 1, 640, 0, 60, 1000})) + ")";
    const std::string type = "OcuGetDeviceInfo(0, buf, 4)";

    frame.m_bGetBadPixels = 1;
    driver.ClearCalls();
    ASSERT_TRUE(frame.ExecuteCommand(kIdSingleSnap));
    EXPECT_EQ(driver.CallTexts(), (Calls{"OcuSnapShot(buf, 1)", type, exposure, region}));

    frame.m_bGetTemplate = 1;
    for (int i = 0; i < 9; ++i)
        frame.ExecuteCommand(kIdSingleSnap);
    driver.ClearCalls();
    frame.ExecuteCommand(kIdSingleSnap);
    EXPECT_EQ(driver.CallTexts(), (Calls{"OcuSnapShot(buf, 1)", type, exposure, region}));

    // While acquiring, delivery is paused around the change and resumed into the same buffer.
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    frame.m_bGetBadPixels = 1;
    driver.ClearCalls();
    ASSERT_TRUE(driver.DeliverFrame());
    ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount == 1; }));
    EXPECT_EQ(driver.CallTexts(), (Calls{type, exposure, "OcuStopSnap()", region, "OcuStartSnap(buf, 1)"}));
    EXPECT_TRUE(WaitFor([&] { return !driver.InCallback(); }));
    frame.ExecuteCommand(kIdContinuousSnap);
}

namespace {

class ColourOnTheCamera : public SimViewerTest {
protected:
    // One single snap of the simulated camera in mode 1 (640 x 480), the whole image as the region.
    void Snap(const char* bayer, int layout, int conversion) {
        SCOPED_TRACE(bayer);
        const ExactSimCamera camera(bayer);
        WriteSettingsFile("[Video Parameter]\nResolution=1\nBayerLayout=" + std::to_string(layout) + "\n");
        RunningViewer viewer;
        ASSERT_TRUE(viewer.Started());
        CMainFrame& frame = viewer.Frame();
        ResizeClient(frame, 640, 480);
        ASSERT_EQ(frame.m_rcRegion, (Rect{0, 0, 640, 480}));
        frame.m_nConversion = conversion;
        ASSERT_TRUE(frame.ExecuteCommand(kIdSingleSnap));
        if (conversion != kConversionFast && frame.m_pImageBuffer[0] == 0xFF)
            frame.ExecuteCommand(kIdSingleSnap); // the first one fell on a dropped turn

        // Colour bars (75 % red, green, blue) and checker patches (red, green, blue), where the chart
        // puts them in the upright picture.
        const auto at = [&](double u, double v) {
            return DominantOf(DisplayPixel(frame, int(u * 640), int(v * 480)));
        };
        EXPECT_EQ(at(0.36, 0.58), Dominant::Red);
        EXPECT_EQ(at(0.24, 0.58), Dominant::Green);
        EXPECT_EQ(at(0.42, 0.58), Dominant::Blue);
        EXPECT_EQ(at(0.23, 0.29), Dominant::Red);
        EXPECT_EQ(at(0.15, 0.29), Dominant::Green);
        EXPECT_EQ(at(0.07, 0.29), Dominant::Blue);
        // The gray ramp near the bottom rises from left to right.
        EXPECT_LT(DisplayPixel(frame, 64, 415).g + 40, DisplayPixel(frame, 576, 415).g);
        frame.close();
    }
};

} // namespace

TEST_F(ColourOnTheCamera, ChannelsAndOrientationAreRightInEveryLayout) {
    Snap("GBRG", 1, kConversionFast);
    Snap("GRBG", 2, kConversionFast);
    Snap("BGGR", 3, kConversionFast);
    Snap("RGGB", 4, kConversionFast);
    Snap("GRBG", 2, kConversionBest);
}

TEST_F(ColourOnTheCamera, OptionCommandsTakeEffectWithTheNextFrame) {
    const ExactSimCamera camera;
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ASSERT_TRUE(frame.ExecuteCommand(kIdSingleSnap));
    ASSERT_EQ(frame.m_pBmpInfo->bmiHeader.biBitCount, 24);

    ASSERT_TRUE(frame.ExecuteCommand(kIdImageBw));
    EXPECT_TRUE(frame.QueryCommand(kIdImageBw).checked);
    EXPECT_FALSE(frame.QueryCommand(kIdImageColor).checked);
    ASSERT_TRUE(frame.m_pYUVLut);
    EXPECT_TRUE(std::filesystem::exists(lutFolder.File("YUVLut.dat")));
    const uint8_t* table = frame.m_pYUVLut.get();
    EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biBitCount, 24); // nothing happens until the next frame
    ASSERT_TRUE(frame.ExecuteCommand(kIdSingleSnap));
    EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biBitCount, 8);

    // Back to colour and to black and white: the table stays mapped once.
    frame.ExecuteCommand(kIdImageColor);
    frame.ExecuteCommand(kIdImageBw);
    EXPECT_EQ(frame.m_pYUVLut.get(), table);

    for (const auto& [id, layout] :
         {std::pair{kIdBayerGbrg, 1}, {kIdBayerGrbg, 2}, {kIdBayerBggr, 3}, {kIdBayerRggb, 4}}) {
        frame.ExecuteCommand(id);
        EXPECT_EQ(frame.m_nBayerLayout, layout);
        EXPECT_TRUE(frame.QueryCommand(id).checked);
    }
    for (const auto& [id, type] : {std::pair{kIdConversionNormal, 3},
                                   {kIdConversionBest, 6},
                                   {kIdConversionEdgeSensing, 4},
                                   {kIdConversionFast, 1}}) {
        frame.ExecuteCommand(id);
        EXPECT_EQ(frame.m_nConversion, type);
        EXPECT_TRUE(frame.QueryCommand(id).checked);
    }
    frame.close();
}

TEST_F(ColourOnTheCamera, BlackAndWhiteInTheSettingsMapsTheTableAtStart) {
    WriteSettingsFile("[Video Parameter]\nImageMode=1\n");
    const ExactSimCamera camera;
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    EXPECT_TRUE(viewer.Frame().m_pYUVLut);
    viewer.Frame().close();
}

namespace {

class CaptureFramesOnTheCamera : public SimViewerTest {};

} // namespace

// A capture's frames are of the whole sensor; what is shown of them is the region, as in every other
// frame, in colour and in gray, with elimination on (which then covers the whole frame).
TEST_F(CaptureFramesOnTheCamera, ShowTheRegionNotRowsOfTheWholeSensor) {
    const ExactSimCamera camera;
    WriteSettingsFile("[Video Parameter]\nResolution=1\n"); // 640 x 480
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 320, 240);
    ASSERT_EQ(frame.m_rcRegion, (Rect{0, 0, 320, 240}));
    frame.m_bEraseBadPixels = 1;
    for (const int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(frame.ExecuteCommand(mode == 0 ? kIdImageColor : kIdImageBw));
        ASSERT_TRUE(frame.ExecuteCommand(kIdSingleSnap));
        const std::vector<uint8_t> usual = DisplayBytes(frame);

        frame.m_bGetTemplate = 1; // in gray it waits, with the camera reading the whole sensor
        frame.ApplyOutputWindow(0, 0, frame.m_nWidth, frame.m_nHeight);
        ASSERT_TRUE(frame.ExecuteCommand(kIdSingleSnap));
        EXPECT_EQ(frame.m_nTemplateFrames, mode == 0 ? 1 : 0);
        EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biWidth, 320);
        // The same picture; only brighter or darker, since the exposure value was reckoned for the
        // region's lines and the camera now reads longer ones.
        const std::vector<uint8_t> shown = DisplayBytes(frame);
        double sumUsual = 0;
        double sumShown = 0;
        for (size_t i = 0; i < usual.size(); ++i) {
            sumUsual += usual[i];
            sumShown += shown[i];
        }
        const double gain = sumShown / sumUsual;
        size_t unlike = 0;
        for (size_t i = 0; i < usual.size(); ++i)
            unlike += std::abs(shown[i] - gain * usual[i]) > 6 + 0.1 * usual[i];
        EXPECT_LT(unlike, usual.size() / 100) << "gain " << gain;
        frame.m_bGetTemplate = 0;
        frame.m_nTemplateFrames = 0;
        frame.ApplyRegionToCamera();
    }
    frame.close();
}
