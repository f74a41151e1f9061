// The viewer on a screen scaled by 2 (QT_SCALE_FACTOR=2 for the whole of this executable): the region, the
// size rule and the picture count device pixels, one per image pixel, so the camera's output window is
// exactly the picture on the screen.
#include "LiveTestSupport.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace ocu;
using namespace ocu::test;

namespace {

// Set before main() creates the application, which reads it once.
const bool kScaledByTwo = qputenv("QT_SCALE_FACTOR", "2");

class ScaledScreen : public SimViewerTest {};

} // namespace

TEST_F(ScaledScreen, OneDevicePixelPerImagePixelAndTheRegionInDevicePixels) {
    const ExactSimCamera camera;
    WriteSettingsFile("[Video Parameter]\nResolution=2\n"); // 320 x 240: the offscreen screen is small
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    COcuViewerView& view = *frame.GetActiveView();
    ASSERT_EQ(view.devicePixelRatioF(), 2.0);
    ProcessEvents();

    // The whole mode image, which takes half as many logical pixels.
    EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 320, 240}));
    EXPECT_EQ(view.size(), QSize(160, 120));
    EXPECT_EQ(TitleAfterPaint(frame), "VelC Viewer [320 x 240]");

    // The size rule in device pixels: a view of 101 x 51 logical pixels covers 202 x 102 device pixels,
    // which the rule takes down to 200 x 102.
    ResizeClient(frame, 101, 51);
    EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 200, 102}));
    EXPECT_EQ(view.size(), QSize(100, 51));
    // Never beyond the image, in device pixels.
    ResizeClient(frame, 700, 500);
    EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 320, 240}));
    EXPECT_EQ(view.size(), QSize(160, 120));

    ASSERT_TRUE(frame.ExecuteCommand(kIdSingleSnap));
    const QImage shown = view.grab().toImage();
    ASSERT_EQ(shown.size(), QSize(320, 240)); // device pixels
    int wrong = 0;
    for (int y = 0; y < 240; y += 3) {
        for (int x = 0; x < 320; x += 3) {
            const Bgr p = DisplayPixel(frame, x, y);
            wrong += shown.pixel(x, y) != qRgb(p.r, p.g, p.b);
        }
    }
    EXPECT_EQ(wrong, 0);
    frame.close();
}
