// The window tied to the camera: region, output window, size rule, resolution and speed changes.
#include "OcuSnapTesting.h"
#include "WindowTestSupport.h"
#include "camera/Exposure.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"

#include <QMenuBar>
#include <QScreen>
#include <gtest/gtest.h>

using namespace ocu;
using namespace ocu::test;
using Calls = std::vector<std::string>;

namespace {

class Geometry : public ViewerTest {
protected:
    std::string Window(int width, int height) const {
        return "OcuSetOutputWindow(0, 0, " + std::to_string(width) + ", " + std::to_string(height) + ")";
    }
    std::string ExposureCall(int type, int speed, int width) const {
        return "OcuAECControl(1, " +
               std::to_string(ExposureValue(ExposureInput{type, speed, width, 0, 60, 1000})) + ")";
    }
    static void ExpectRegionWithin(const CMainFrame& frame) {
        const Rect r = frame.m_rcRegion;
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, 0);
        EXPECT_LE(r.Width(), frame.m_nWidth);
        EXPECT_LE(r.Height(), frame.m_nHeight);
        EXPECT_EQ(r.Width() % 4, 0);
        EXPECT_EQ(r.Height() % 2, 0);
    }
};

} // namespace

TEST_F(Geometry, ClientAreaRoundsToTheRegion) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    driver.ClearCalls();
    ResizeClient(frame, 645, 483);

    EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 644, 482}));
    const Calls calls = driver.CallTexts();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(Calls(calls.end() - 3, calls.end()),
              (Calls{Window(644, 482), "OcuGetDeviceInfo(0, buf, 4)", ExposureCall(2, 1, 644)}));
    EXPECT_EQ(TitleAfterPaint(frame), "VelC Viewer [644 x 482]");
    // The size rule also snapped the view itself to the region.
    EXPECT_EQ(frame.GetActiveView()->size(), QSize(644, 482));
}

// Shrunk to its menu bar, the frame has no room for the view, which the main window's layout then moved out
// of sight at its old size: title, region and camera must follow the frame down to 0 and back.
TEST_F(Geometry, TitleRegionAndCameraFollowTheFrameDownToTheMenuBarAndBack) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    for (const int height : {480, 2, 0, 1, 300, 0}) {
        SCOPED_TRACE(height);
        frame.resize(640, frame.menuBar()->geometry().bottom() + 1 + height);
        ProcessEvents();
        const int region = height - height % 2;
        EXPECT_EQ(frame.GetActiveView()->size(), QSize(640, region));
        EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 640, region}));
        EXPECT_EQ(TitleAfterPaint(frame), QStringLiteral("VelC Viewer [640 x %1]").arg(region));
        const Calls calls = driver.CallTexts();
        const auto window = std::find_if(calls.rbegin(), calls.rend(), [](const std::string& call) {
            return call.rfind("OcuSetOutputWindow", 0) == 0;
        });
        ASSERT_NE(window, calls.rend());
        EXPECT_EQ(*window, Window(640, region));
    }
}

TEST_F(Geometry, ViewNeverGrowsBeyondTheSensorImage) {
    WriteSettingsFile("[Video Parameter]\nResolution=2\n"); // 320 x 240
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 700, 500);
    EXPECT_EQ(frame.GetActiveView()->size(), QSize(320, 240));
    EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 320, 240}));
    ResizeClient(frame, 318, 239);
    EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 316, 238}));
    EXPECT_EQ(frame.GetActiveView()->size(), QSize(316, 238));
}

TEST_F(Geometry, RegionStaysWithinTheImageWhateverTheWindowIsGiven) {
    WriteSettingsFile("[Video Parameter]\nResolution=2\n");
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    // As a window manager that ignores the frame's limits would do.
    frame.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    frame.GetActiveView()->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    frame.GetActiveView()->resize(701, 555);
    EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 320, 240}));
    frame.resize(1000, 800);
    ProcessEvents();
    ExpectRegionWithin(frame);
}

TEST_F(Geometry, MaximiseKeepsTheRegionWithinTheImage) {
    for (const char* settings : {"[Video Parameter]\nResolution=0\n", "[Video Parameter]\nResolution=2\n"}) {
        WriteSettingsFile(settings);
        RunningViewer viewer;
        ASSERT_TRUE(viewer.Started());
        CMainFrame& frame = viewer.Frame();
        frame.showMaximized();
        ProcessEvents();
        ExpectRegionWithin(frame);
        frame.showNormal();
        ProcessEvents();
        ExpectRegionWithin(frame);
        frame.close();
    }
}

TEST_F(Geometry, RestoreFromMinimisedIsLeftAsProposedOnce) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    frame.showMinimized();
    ProcessEvents();
    EXPECT_EQ(frame.m_bWasIconic, 1);
    frame.showNormal();
    ProcessEvents();
    EXPECT_EQ(frame.m_bWasIconic, 0);
    // Later changes are clamped again.
    ResizeClient(frame, 301, 201);
    EXPECT_EQ(frame.GetActiveView()->size(), QSize(300, 200));
}

TEST_F(Geometry, ResizeDuringAcquisitionRestartsDeliveryIntoTheSameBuffer) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    frame.m_nFrameCount = 57;
    frame.m_dwStartTick = 1;
    driver.ClearCalls();

    ResizeClient(frame, 400, 300);
    ASSERT_EQ(frame.m_rcRegion, (Rect{0, 0, 400, 300}));
    EXPECT_EQ(driver.CallTexts(), (Calls{"OcuStopSnap()", Window(400, 300), "OcuStartSnap(buf, 1)",
                                         "OcuGetDeviceInfo(0, buf, 4)", ExposureCall(2, 1, 400)}));
    const auto calls = driver.Calls();
    EXPECT_EQ(calls[2].args[0], static_cast<int64_t>(reinterpret_cast<uintptr_t>(frame.m_pRawBuffer.get())));
    EXPECT_EQ(frame.m_nFrameCount, 0);
    EXPECT_NE(frame.m_dwStartTick, 1u);
    frame.ExecuteCommand(kIdContinuousSnap);
}

TEST_F(Geometry, ResolutionCommandClampsTheWindowAndSetsTheOutputWindow) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 500, 400);
    driver.ClearCalls();

    ASSERT_TRUE(frame.ExecuteCommand(kIdResolution2));
    EXPECT_EQ(frame.m_nResolution, 2);
    EXPECT_EQ(frame.m_nWidth, 320);
    EXPECT_EQ(frame.m_nHeight, 240);
    EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 320, 240}));
    const Calls calls = driver.CallTexts();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 3),
              (Calls{"OcuSetResolution(2)", "OcuGetDeviceInfo(1, null, 0)", "OcuGetDeviceInfo(1, buf, 24)"}));
    EXPECT_EQ(calls.back(), Window(320, 240));
    EXPECT_TRUE(frame.QueryCommand(kIdResolution2).checked);
    EXPECT_FALSE(frame.QueryCommand(kIdResolution0).checked);
    EXPECT_EQ(TitleAfterPaint(frame), "VelC Viewer [320 x 240]");

    // Back to mode 0: the limits grow, the window keeps its size until the user enlarges it.
    driver.ClearCalls();
    ASSERT_TRUE(frame.ExecuteCommand(kIdResolution0));
    EXPECT_EQ(frame.m_nWidth, 1280);
    EXPECT_EQ(driver.CallTexts().back(), Window(320, 240));
    ResizeClient(frame, 600, 400);
    EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 600, 400}));
}

TEST_F(Geometry, RefusedResolutionChangesNothing) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    const Rect region = frame.m_rcRegion;
    driver.SetStatus("OcuSetResolution", OCU_ERR_INVALID_ARGUMENT);
    driver.ClearCalls();
    EXPECT_TRUE(frame.ExecuteCommand(kIdResolution1));
    EXPECT_EQ(driver.CallTexts(), Calls{"OcuSetResolution(1)"});
    EXPECT_EQ(frame.m_nResolution, 0);
    EXPECT_EQ(frame.m_nWidth, 1280);
    EXPECT_EQ(frame.m_rcRegion, region);
}

TEST_F(Geometry, ResolutionDuringAcquisitionRestartsDelivery) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 300, 200);
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    driver.ClearCalls();
    // The window already fits mode 1, so only the command's own output-window change runs.
    ASSERT_TRUE(frame.ExecuteCommand(kIdResolution1));
    EXPECT_EQ(driver.CallTexts(),
              (Calls{"OcuSetResolution(1)", "OcuGetDeviceInfo(1, null, 0)", "OcuGetDeviceInfo(1, buf, 24)",
                     "OcuStopSnap()", Window(300, 200), "OcuStartSnap(buf, 1)"}));
    frame.ExecuteCommand(kIdContinuousSnap);
}

TEST_F(Geometry, SnapSpeedChangesTheClockOnTypesThatHaveIt) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 400, 300);
    driver.ClearCalls();
    ASSERT_TRUE(frame.ExecuteCommand(kIdNormalSpeed));
    EXPECT_EQ(frame.m_nSnapSpeed, 0);
    EXPECT_EQ(driver.CallTexts(),
              (Calls{"OcuSetSnapSpeed(0)", "OcuGetDeviceInfo(0, buf, 4)", ExposureCall(2, 0, 400)}));
    EXPECT_TRUE(frame.QueryCommand(kIdNormalSpeed).checked);
    EXPECT_FALSE(frame.QueryCommand(kIdHighSpeed).checked);
}

TEST_F(Geometry, SnapSpeedIsDisabledOnTypesWithoutIt) {
    driver.SetDeviceType(1);
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    driver.ClearCalls();
    EXPECT_FALSE(frame.QueryCommand(kIdNormalSpeed).enabled);
    EXPECT_FALSE(frame.QueryCommand(kIdHighSpeed).enabled);
    EXPECT_TRUE(frame.QueryCommand(kIdHighSpeed).checked);
    EXPECT_FALSE(frame.ExecuteCommand(kIdNormalSpeed));
    frame.OnSnapSpeed(0); // even called directly
    EXPECT_EQ(frame.m_nSnapSpeed, 1);
    EXPECT_EQ(driver.CallTexts(), Calls{});
}

TEST_F(Geometry, BlankingIsClampedToTheDevicesLimits) {
    driver.SetBlankingLimits(BlankingLimits{-20, -10, 4095, 2047});
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 400, 300);
    driver.ClearCalls();
    frame.ApplyBlanking(5000, -50);
    EXPECT_EQ(frame.m_nHBlanking, 4095);
    EXPECT_EQ(frame.m_nVBlanking, -10);
    const std::string exposure =
        "OcuAECControl(1, " + std::to_string(ExposureValue(ExposureInput{2, 1, 400, 4095, 60, 1000})) + ")";
    EXPECT_EQ(driver.CallTexts(),
              (Calls{"OcuGetDeviceInfo(4, null, 0)", "OcuGetDeviceInfo(4, buf, 16)",
                     "OcuSetBlanking(4095, -10)", "OcuGetDeviceInfo(0, buf, 4)", exposure}));
}

TEST_F(Geometry, BlankingWithoutDeviceLimitsUsesTheFixedRange) {
    driver.SetDeviceType(0);
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    driver.ClearCalls();
    frame.ApplyBlanking(2000, -20);
    EXPECT_EQ(frame.m_nHBlanking, 1930);
    EXPECT_EQ(frame.m_nVBlanking, -9);
    EXPECT_EQ(driver.CallTexts().front(), "OcuSetBlanking(1930, -9)");
}
