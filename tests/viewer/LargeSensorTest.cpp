// A 5-megapixel sensor through the whole viewer: the frame's buffers, the size rule, the live frames and
// the title all follow the camera's resolution table, whatever its size.
#include "LiveTestSupport.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"

#include <gtest/gtest.h>

using namespace ocu;
using namespace ocu::test;

namespace {

class LargeSensor : public SimViewerTest {
protected:
    ExactSimCamera camera;
    ScopedEnv sensor{"OCUSNAP_SIM_SENSOR", std::string("2592x1944")};
};

int Brightness(const CMainFrame& frame, double u, double v) {
    const BitmapInfoHeader& h = frame.m_pBmpInfo->bmiHeader;
    const Bgr p = DisplayPixel(frame, static_cast<int>(u * h.biWidth), static_cast<int>(v * h.biHeight));
    return (p.b + p.g + p.r) / 3;
}

// Runs acquisition until a few frames of the current region have been drawn.
bool DrawLiveFrames(CMainFrame& frame) {
    if (!frame.ExecuteCommand(kIdContinuousSnap))
        return false;
    const bool drawn = WaitFor([&] { return frame.m_nFrameCount >= 3; }, 60000);
    frame.ExecuteCommand(kIdContinuousSnap);
    return drawn;
}

} // namespace

TEST_F(LargeSensor, FramesOfTheWholeSensorAndItsModesGoThroughTheViewer) {
    WriteSettingsFile("[Video Parameter]\nResolution=0\nBayerLayout=2\n");
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    EXPECT_EQ(frame.m_nWidth, 2592);
    EXPECT_EQ(frame.m_nHeight, 1944);

    // The size rule holds the view to the sensor image, however large the window is made.
    ResizeClient(frame, 3000, 2400);
    EXPECT_EQ(frame.GetActiveView()->size(), QSize(2592, 1944));
    EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 2592, 1944}));
    EXPECT_EQ(TitleAfterPaint(frame), "VelC Viewer [2592 x 1944]");

    // Whole-sensor frames fill the buffers allocated at set-up: the chart's bottom-right corner (the white
    // end of the ramp) shows as well as its top-left (the white patch) and the black bar.
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount >= 3; }, 60000));
    EXPECT_EQ(LiveTitleSize(frame.windowTitle()), QSize(2592, 1944)) << frame.windowTitle().toStdString();
    frame.ExecuteCommand(kIdContinuousSnap);
    EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biWidth, 2592);
    EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biHeight, 1944);
    EXPECT_GT(Brightness(frame, 0.95, 0.865), 150);
    EXPECT_GT(Brightness(frame, 0.03 + 0.48 * (0.5 / 6), 0.04 + 0.40 * (3.5 / 4)), 150);
    EXPECT_LT(Brightness(frame, 0.03 + 0.48 * (7.5 / 8), 0.58), 30);

    // A region of the sensor keeps the rounding of the size rule.
    ResizeClient(frame, 2001, 1501);
    EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 2000, 1500}));
    ASSERT_TRUE(DrawLiveFrames(frame));
    EXPECT_EQ(LiveTitleSize(frame.windowTitle()), QSize(2000, 1500)) << frame.windowTitle().toStdString();

    // Modes 1 and 2 are the half and the quarter: the window shrinks to them, frames follow.
    for (const auto& [command, size] :
         {std::pair{kIdResolution1, QSize(1296, 972)}, {kIdResolution2, QSize(648, 486)}}) {
        ASSERT_TRUE(frame.ExecuteCommand(command));
        ProcessEvents();
        EXPECT_EQ(QSize(frame.m_nWidth, frame.m_nHeight), size);
        EXPECT_EQ(frame.GetActiveView()->size(), size);
        ASSERT_TRUE(DrawLiveFrames(frame));
        EXPECT_EQ(LiveTitleSize(frame.windowTitle()), size) << frame.windowTitle().toStdString();
        EXPECT_GT(Brightness(frame, 0.95, 0.865), 150) << size.width();
    }
    frame.close();
}
