// The creation sequence and the device set-up, seen from the camera's side.
#include "OcuSnapTesting.h"
#include "TestSupport.h"
#include "WindowTestSupport.h"
#include "camera/Exposure.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"
#include "frame/Settings.h"

#include <QMenuBar>
#include <algorithm>
#include <gtest/gtest.h>

using namespace ocu;
using namespace ocu::test;
using Calls = std::vector<std::string>;

namespace {

class Creation : public ViewerTest {};

int Exposure(int type, int speed, int width, int hBlanking, int upper, int lower) {
    return ExposureValue(ExposureInput{type, speed, width, hBlanking, upper, lower});
}

} // namespace

TEST_F(Creation, SendsEveryStoredSettingInOrder) {
    const DoubleHalves two = SplitDouble(2.0);
    const DoubleHalves one = SplitDouble(1.0);
    WriteSettingsFile(
        "[Video Parameter]\nResolution=1\nSnapMode=1\nTintUpper=30\nTintLower=1000\nADCLevel=2\n"
        "GainRCh=1\nGainRChG=2\nGainBChG=3\nGainBCh=4\nHBlanking=5\nVBlanking=6\nSnapSpeed=0\n"
        "RatioRL=" +
        std::to_string(two.low) + "\nRatioRH=" + std::to_string(two.high) + "\nRatioGL=0\nRatioGH=" +
        std::to_string(one.high) + "\nRatioBL=0\nRatioBH=" + std::to_string(one.high) + "\n");
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();

    const Calls calls = driver.CallTexts();
    const Calls creation{
        "BeginOcuDevice(1)",
        "OcuGetDeviceInfo(1, null, 0)",
        "OcuGetDeviceInfo(1, buf, 24)",
        "OcuGetDeviceInfo(0, buf, 4)",
        "OcuSetResolution(1)",
        "OcuSetSnapMode(1)",
        "OcuSetOutputWindow(0, 0, 640, 480)",
        "OcuSetSnapSpeed(0)",
        "OcuSetBlanking(5, 6)",
        "OcuAGCControl(0x10, 1)",
        "OcuAGCControl(0x11, 2)",
        "OcuAGCControl(0x12, 3)",
        "OcuAGCControl(0x13, 4)",
        "OcuGetDeviceInfo(0, buf, 4)",
        "OcuAECControl(1, " + std::to_string(Exposure(2, 0, 640, 5, 30, 1000)) + ")", // the image width
        "OcuADCControl(0, 2)",
        "OcuGetDeviceInfo(0, buf, 4)", // the model name
    };
    ASSERT_GE(calls.size(), creation.size());
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + static_cast<long>(creation.size())), creation);

    // Shown, the window is tied to the camera: the last output window is the region, and the exposure
    // follows the region's width from then on.
    const Rect region = frame.m_rcRegion;
    EXPECT_GT(region.Width(), 0);
    EXPECT_LE(region.Width(), 640);
    EXPECT_LE(region.Height(), 480);
    EXPECT_EQ(region.Width() % 4, 0);
    EXPECT_EQ(region.Height() % 2, 0);
    const std::string window = "OcuSetOutputWindow(0, 0, " + std::to_string(region.Width()) + ", " +
                               std::to_string(region.Height()) + ")";
    const auto lastWindow = std::find_if(calls.rbegin(), calls.rend(), [](const std::string& call) {
        return call.starts_with("OcuSetOutputWindow");
    });
    ASSERT_NE(lastWindow, calls.rend());
    EXPECT_EQ(*lastWindow, window);
    EXPECT_EQ(calls.back(),
              "OcuAECControl(1, " + std::to_string(Exposure(2, 0, region.Width(), 5, 30, 1000)) + ")");

    EXPECT_EQ(frame.m_nWidth, 640);
    EXPECT_EQ(frame.m_nHeight, 480);
    EXPECT_EQ(frame.m_bSnapSpeedSupported, 1);
    EXPECT_EQ(frame.m_bBlankingQuery, 1);
    // The channel tables carry the stored ratios.
    EXPECT_EQ(frame.m_Lut[kLutRed][100], 200);
    EXPECT_EQ(frame.m_Lut[kLutGreen][100], 100);
    // The four buffers exist, filled as the frame pipeline expects them.
    ASSERT_TRUE(frame.m_pImageBuffer && frame.m_pRawBuffer && frame.m_pPatternNoise && frame.m_pBadPixels);
    EXPECT_EQ(frame.m_pImageBuffer[1280 * 1024 * 3 - 1], 0xFF);
    EXPECT_EQ(frame.m_pRawBuffer[1280 * 1024 - 1], 0xFF);
    EXPECT_EQ(frame.m_pPatternNoise[1280 * 1024 - 1], 0);
    EXPECT_EQ(frame.m_pBadPixels[0], 0xFF);

    EXPECT_EQ(TitleAfterPaint(frame),
              QString::asprintf("VelC Viewer [%d x %d]", region.Width(), region.Height()));
}

TEST_F(Creation, FirstRunStartsFromTheDefaults) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    const CMainFrame& frame = viewer.Frame();
    EXPECT_EQ(frame.m_nResolution, 0);
    EXPECT_EQ(frame.m_nBayerLayout, 2);
    EXPECT_EQ(frame.m_nADCLevel, 1);
    EXPECT_EQ(frame.m_dRatioR, 0.0);
    // Ratios of zero leave the tables as they were: the identity.
    EXPECT_EQ(frame.m_Lut, IdentityLuts());
    EXPECT_EQ(frame.m_nConversion, 1);
    EXPECT_EQ(frame.m_dGamma, 1.0);
    EXPECT_EQ(frame.m_pBmpInfo, reinterpret_cast<const BitmapInfo*>(frame.m_BmpInfoBuf));
    EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biSize, 40u);
    EXPECT_EQ(frame.m_pBmpInfo->bmiColors[200].rgbGreen, 200);
    EXPECT_TRUE(frame.m_hPalette);
    EXPECT_GT(frame.m_nScreenWidth, 0);
    const Calls calls = driver.CallTexts();
    EXPECT_EQ(FirstCall(calls, "OcuSetResolution"), "OcuSetResolution(0)");
    EXPECT_EQ(FirstCall(calls, "OcuSetOutputWindow"), "OcuSetOutputWindow(0, 0, 1280, 1024)");
    EXPECT_EQ(FirstCall(calls, "OcuADCControl"), "OcuADCControl(0, 1)");
}

TEST_F(Creation, StoredModeThatTheCameraLacksFallsBackToModeZero) {
    driver.SetResolutions({{1280, 1024}, {640, 480}});
    WriteSettingsFile("[Video Parameter]\nResolution=2\n");
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    EXPECT_EQ(viewer.Frame().m_nResolution, 0);
    EXPECT_EQ(viewer.Frame().m_nWidth, 1280);
    const Calls calls = driver.CallTexts();
    EXPECT_EQ(FirstCall(calls, "OcuSetResolution"), "OcuSetResolution(0)");
    EXPECT_EQ(FirstCall(calls, "OcuSetOutputWindow"), "OcuSetOutputWindow(0, 0, 1280, 1024)");
}

TEST_F(Creation, AModeLargerThanModeZeroIsCutToTheBuffers) {
    // The buffers hold one image of mode 0; a camera that says mode 1 is larger must not get a larger
    // output window, or its frames would overrun them.
    driver.SetResolutions({{640, 480}, {1280, 1024}});
    WriteSettingsFile("[Video Parameter]\nResolution=1\n");
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    EXPECT_EQ(frame.m_nResolution, 1);
    EXPECT_EQ(frame.m_nWidth, 640);
    EXPECT_EQ(frame.m_nHeight, 480);
    EXPECT_EQ(FirstCall(driver.CallTexts(), "OcuSetOutputWindow"), "OcuSetOutputWindow(0, 0, 640, 480)");

    ASSERT_TRUE(frame.ExecuteCommand(kIdResolution0));
    ASSERT_TRUE(frame.ExecuteCommand(kIdResolution1));
    EXPECT_EQ(frame.m_nWidth, 640);
    EXPECT_EQ(frame.m_nHeight, 480);
    ResizeClient(frame, 1000, 800);
    EXPECT_LE(frame.m_rcRegion.Width(), 640);
    EXPECT_LE(frame.m_rcRegion.Height(), 480);
}

TEST_F(Creation, NoResolutionTableLeavesTheCameraUnconfigured) {
    driver.FailDeviceInfo(OCU_INFO_RESOLUTIONS, OCU_ERR_INTERNAL);
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    EXPECT_FALSE(frame.m_pImageBuffer);
    EXPECT_FALSE(frame.m_pRawBuffer);
    // As without a camera: a visible frame as wide as its menu bar, an empty region.
    EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 0, 0}));
    EXPECT_GE(frame.width(), frame.menuBar()->sizeHint().width());
    const Calls calls = driver.CallTexts();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[1], "OcuGetDeviceInfo(1, null, 0)");
    EXPECT_EQ(calls[2], "OcuGetDeviceInfo(0, buf, 4)"); // straight on to the model name
    EXPECT_EQ(CallsFrom(calls, "OcuSetResolution"), Calls{}) << "nothing is configured";
    // Without buffers, Continuous Snap refuses silently.
    EXPECT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    EXPECT_EQ(frame.m_bSnapping, 0);
    EXPECT_EQ(CallsFrom(driver.CallTexts(), "OcuOpenSnap"), Calls{});
}

// Also for an open that found the camera in use: the boxes give the open's own reason.
TEST_F(Creation, FailedOpenShowsTheDriversErrorAndTheWindowStillOpens) {
    for (const OCUSTATUS status : {OCU_ERR_NO_CAMERA, OCU_ERR_DEVICE_OPEN}) {
        SCOPED_TRACE(status);
        driver.ClearCalls();
        driver.SetStatus("BeginOcuDevice", status);
        MessageBoxRecorder boxes;
        RunningViewer viewer;
        ASSERT_TRUE(viewer.Started());
        CMainFrame& frame = viewer.Frame();

        ASSERT_EQ(boxes.Boxes().size(), 1u);
        const MessageBoxRequest box = boxes.Boxes().front();
        EXPECT_EQ(box.caption, "Error message");
        EXPECT_EQ(box.text, QString::fromUtf8(OcuGetErrorString(status)));
        EXPECT_EQ(box.icon, QMessageBox::Warning);
        EXPECT_EQ(box.buttons, QMessageBox::Ok);
        EXPECT_EQ(box.owner, nullptr);

        EXPECT_TRUE(frame.isVisible());
        EXPECT_EQ(frame.m_hDevice, nullptr);
        EXPECT_FALSE(frame.m_pRawBuffer);
        EXPECT_EQ(frame.m_strDeviceName, "OcuDevice");
        EXPECT_EQ(TitleAfterPaint(frame), "OcuDevice Viewer [0 x 0]");
        // A window of no width would never be shown: the frame keeps its menu bar's width.
        EXPECT_GE(frame.width(), frame.menuBar()->sizeHint().width());
        EXPECT_GT(frame.height(), 0);

        // Resizes and commands make no driver calls with a handle that was never opened.
        ResizeClient(frame, 300, 200);
        frame.ExecuteCommand(kIdResolution1);
        frame.ApplyBlanking(10, 10);
        // The snap commands, which would do nothing at all, say again why and where a camera is chosen.
        for (const int command : {kIdContinuousSnap, kIdSingleSnap}) {
            boxes.Clear();
            EXPECT_TRUE(frame.ExecuteCommand(command));
            ASSERT_EQ(boxes.Boxes().size(), 1u) << command;
            EXPECT_EQ(boxes.Boxes().front().caption, box.caption);
            EXPECT_EQ(boxes.Boxes().front().text,
                      box.text + QStringLiteral("\n\nOptions > Camera... chooses a camera and opens it."));
        }
        EXPECT_EQ(frame.m_bSnapping, 0);
        EXPECT_EQ(driver.CallTexts(), Calls{"BeginOcuDevice(1)"});

        // The settings are written at close all the same, and no device is closed.
        frame.close();
        EXPECT_EQ(driver.CallTexts(), Calls{"BeginOcuDevice(1)"});
        EXPECT_EQ(ReadText(SettingsPath()).substr(0, 18), "[Video Parameter]\n");
    }
}

class ModelName : public Creation, public ::testing::WithParamInterface<std::pair<int, const char*>> {};

TEST_P(ModelName, FollowsTheDeviceType) {
    const auto [type, name] = GetParam();
    driver.SetDeviceType(type);
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    EXPECT_EQ(frame.m_strDeviceName, QString::fromLatin1(name));
    const QString title = TitleAfterPaint(frame);
    EXPECT_TRUE(title.startsWith(QString::fromLatin1(name) + " Viewer [")) << title.toStdString();
    EXPECT_EQ(frame.m_bSnapSpeedSupported, type >= 2 ? 1 : 0);
    EXPECT_EQ(frame.m_bBlankingQuery, type >= 2 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Types, ModelName,
                         ::testing::Values(std::pair{0, "VelA"}, std::pair{1, "VelB"}, std::pair{2, "VelC"},
                                           std::pair{3, ""}),
                         [](const auto& test) { return "Type" + std::to_string(test.param.first); });

TEST_F(Creation, FailedTypeQueryGivesTheGenericName) {
    driver.FailDeviceInfo(OCU_INFO_DEVICE_TYPE, OCU_ERR_INTERNAL);
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    EXPECT_EQ(frame.m_strDeviceName, "OcuDevice");
    EXPECT_EQ(frame.m_bSnapSpeedSupported, 0);
    // An exposure without a known type takes the later models' formula.
    const Calls calls = driver.CallTexts();
    EXPECT_EQ(FirstCall(calls, "OcuAECControl"),
              "OcuAECControl(1, " + std::to_string(Exposure(3, 1, 1280, 0, 60, 1000)) + ")");
}

TEST_F(Creation, TypeThreeHasNoNameSoTheTitleStartsWithABlank) {
    driver.SetDeviceType(3);
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    EXPECT_TRUE(TitleAfterPaint(viewer.Frame()).startsWith(" Viewer ["));
}
