// The acquisition loop: live frames with the rate in the title, single snaps, snap modes, the driver's
// refusals, and frames that keep arriving under modal boxes and through resizes.
#include "LiveTestSupport.h"
#include "OcuSnapTesting.h"
#include "camera/TickCount.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <gtest/gtest.h>
#include <vector>

using namespace ocu;
using namespace ocu::test;
using Calls = std::vector<std::string>;

namespace {

// Closes the modal box or dialog that is open after `ms`, and tells what the frame had counted by then.
void CloseModalAfter(int ms, const CMainFrame& frame, int& countAtClose) {
    QTimer::singleShot(ms, [&frame, &countAtClose] {
        countAtClose = frame.m_nFrameCount;
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
}

class Live : public SimViewerTest {};
class LiveCalls : public ViewerTest {};

} // namespace

TEST_F(Live, ContinuousSnapShowsMovingFramesWithTheRateInTheTitleUntilStopped) {
    const ScopedEnv fps("OCUSNAP_SIM_FPS", std::string("max"));
    const ScopedEnv noise("OCUSNAP_SIM_NOISE", std::string("0"));
    WriteSettingsFile("[Video Parameter]\nResolution=1\n"); // the whole chart, with its moving disc
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 640, 480);

    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    EXPECT_EQ(frame.m_bSnapping, 1);
    EXPECT_TRUE(frame.QueryCommand(kIdContinuousSnap).checked);
    for (const int id : {kIdSingleSnap, kIdSnapContinuation, kIdSnapTrigger})
        EXPECT_FALSE(frame.QueryCommand(id).enabled) << id;
    EXPECT_FALSE(frame.ExecuteCommand(kIdSingleSnap));

    ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount >= 3; }));
    const std::vector<uint8_t> earlier = DisplayBytes(frame);
    const std::optional<RateTitle> title = ParseRateTitle(frame.windowTitle());
    ASSERT_TRUE(title) << frame.windowTitle().toStdString();
    EXPECT_EQ(title->width, 640);
    EXPECT_EQ(title->height, 480);
    EXPECT_GT(title->rate, 0.0);
    const int earlierCount = frame.m_nFrameCount;
    ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount >= earlierCount + 3; }));
    EXPECT_NE(DisplayBytes(frame), earlier); // the picture moves

    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    EXPECT_EQ(frame.m_bSnapping, 0);
    EXPECT_EQ(TitleAfterPaint(frame), "VelC Viewer [640 x 480]");
    const int stoppedAt = frame.m_nFrameCount;
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(frame.m_nFrameCount, stoppedAt);
    EXPECT_TRUE(frame.QueryCommand(kIdSingleSnap).enabled);
    EXPECT_FALSE(frame.QueryCommand(kIdContinuousSnap).checked);
    frame.close();
}

TEST_F(Live, FramesKeepArrivingUnderModalBoxesAndDialogs) {
    const ScopedEnv fps("OCUSNAP_SIM_FPS", std::string("max"));
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ASSERT_TRUE(StartLive(frame, 320, 240, 1));

    // The viewer's own message box, shown for real.
    const MessageBoxHandler tests = SetMessageBoxHandler({});
    int before = frame.m_nFrameCount;
    int atClose = 0;
    CloseModalAfter(300, frame, atClose);
    ShowMessageBox(MessageBoxRequest{&frame, QStringLiteral("Notice"), QStringLiteral("Frames go on"),
                                     QMessageBox::NoIcon, QMessageBox::Ok});
    SetMessageBoxHandler(tests);
    EXPECT_GT(atClose, before + 2);

    // A dialog run by the application: the About box.
    before = frame.m_nFrameCount;
    CloseModalAfter(300, frame, atClose);
    ASSERT_TRUE(frame.ExecuteCommand(kIdAppAbout));
    EXPECT_GT(atClose, before + 2);
    frame.close();
}

TEST_F(Live, ResizingDuringAcquisitionRestartsTheRateAndShowsTheNewSize) {
    const ScopedEnv fps("OCUSNAP_SIM_FPS", std::string("max"));
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 640, 480);
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    for (const QSize size : {QSize(320, 240), QSize(636, 478), QSize(100, 60), QSize(640, 480)}) {
        ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount >= 20; }));
        ResizeClient(frame, size.width(), size.height());
        EXPECT_LT(frame.m_nFrameCount, 20) << "the count restarts with the new window";
        ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount >= 2; }));
        const std::optional<RateTitle> title = ParseRateTitle(frame.windowTitle());
        ASSERT_TRUE(title) << frame.windowTitle().toStdString();
        EXPECT_EQ(QSize(title->width, title->height), size);
    }
    EXPECT_EQ(frame.m_bSnapping, 1);
    frame.close();
}

TEST_F(LiveCalls, TheFirstFrameAfterAStartShowsTheRateSinceTheStart) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 640, 480);
    driver.ClearCalls();
    const uint32_t before = TickCount();
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    EXPECT_EQ(driver.CallTexts(), (Calls{"OcuOpenSnap(fn, ctx)", "OcuStartSnap(buf, 1)"}));
    ASSERT_TRUE(driver.DeliverFrame(0x60));
    ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount == 1; }));
    const uint32_t after = TickCount();

    const std::optional<RateTitle> title = ParseRateTitle(frame.windowTitle());
    ASSERT_TRUE(title) << frame.windowTitle().toStdString();
    EXPECT_EQ(QSize(title->width, title->height), QSize(640, 480));
    EXPECT_LE(title->rate, 1000.0);
    EXPECT_GE(title->rate, 1000.0 / (after - before + 1) - 1e-3);
    EXPECT_EQ(DisplayPixel(frame, 10, 10).g, 0x60);
    frame.close();
}

// A start whose first frame is late (a large sensor, a long exposure, a trigger that has not come) shows
// that it waits, by the cursor and in the title, until a frame comes or the user stops.
TEST_F(LiveCalls, AStartWithoutAFrameForAWhileShowsThatItWaits) {
    struct Case {
        int snapMode;
        bool endByFrame;
        const char* waiting;
    };
    for (const Case c :
         {Case{0, true, "waiting for the first frame..."}, Case{1, false, "waiting for a trigger..."}}) {
        SCOPED_TRACE(c.waiting);
        RunningViewer viewer;
        ASSERT_TRUE(viewer.Started());
        CMainFrame& frame = viewer.Frame();
        ResizeClient(frame, 640, 480);
        ASSERT_TRUE(frame.ExecuteCommand(c.snapMode == 1 ? kIdSnapTrigger : kIdSnapContinuation));
        ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
        ASSERT_TRUE(WaitFor([&] { return frame.cursor().shape() == Qt::BusyCursor; }));
        EXPECT_EQ(frame.windowTitle(),
                  QStringLiteral("VelC Viewer [640 x 480]  ") + QLatin1String(c.waiting));
        // A repaint, a resize keep saying so.
        EXPECT_EQ(TitleAfterPaint(frame), frame.windowTitle());
        ResizeClient(frame, 320, 240);
        EXPECT_EQ(frame.windowTitle(),
                  QStringLiteral("VelC Viewer [320 x 240]  ") + QLatin1String(c.waiting));

        if (c.endByFrame) {
            ASSERT_TRUE(driver.DeliverFrame(0x60));
            ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount == 1; }));
            EXPECT_TRUE(ParseRateTitle(frame.windowTitle())) << frame.windowTitle().toStdString();
        } else {
            ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
            EXPECT_EQ(TitleAfterPaint(frame), "VelC Viewer [320 x 240]");
        }
        EXPECT_EQ(frame.cursor().shape(), Qt::ArrowCursor);
        frame.close();
    }
}

TEST_F(LiveCalls, WithoutBuffersNeitherSnapDoesAnything) {
    driver.FailDeviceInfo(1, OCU_ERR_INTERNAL); // the device opens, but its set-up allocates nothing
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    driver.ClearCalls();
    EXPECT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    EXPECT_TRUE(frame.ExecuteCommand(kIdSingleSnap));
    EXPECT_EQ(driver.CallTexts(), Calls{});
    EXPECT_EQ(frame.m_bSnapping, 0);
}

TEST_F(LiveCalls, ARefusedStartClosesTheCaptureBeforeItsBox) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    driver.SetStatus("OcuStartSnap", OCU_ERR_CAPTURE_START);
    driver.ClearCalls();
    std::vector<Calls> callsAtBox;
    std::vector<MessageBoxRequest> boxes;
    const MessageBoxHandler previous = SetMessageBoxHandler([&](const MessageBoxRequest& box) {
        callsAtBox.push_back(driver.CallTexts());
        boxes.push_back(box);
        return QMessageBox::Ok;
    });
    frame.ExecuteCommand(kIdContinuousSnap);
    SetMessageBoxHandler(previous);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(callsAtBox[0], (Calls{"OcuOpenSnap(fn, ctx)", "OcuStartSnap(buf, 1)", "OcuCloseSnap()"}));
    EXPECT_EQ(boxes[0].caption, "Error message");
    EXPECT_EQ(boxes[0].text, QString::fromUtf8(OcuGetErrorString(OCU_ERR_CAPTURE_START)));
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(frame.m_bSnapping, 0);
}

// A camera that went away: a second without frames, the driver's word that it is lost, and the picture
// stops by itself and says why, rather than stand frozen under its last frame rate. Stopped by Ctrl+2 before
// that, it says why as well; closing the window says nothing: the user is leaving.
TEST_F(LiveCalls, APictureWhoseCameraWasLostStopsAndSaysSoButTheCloseDoesNot) {
    enum class End { Watch, ContinuousSnap, Closing };
    for (const End end : {End::Watch, End::ContinuousSnap, End::Closing}) {
        SCOPED_TRACE(static_cast<int>(end));
        driver.SetStatus("OcuCloseSnap", OCU_OK);
        RunningViewer viewer;
        ASSERT_TRUE(viewer.Started());
        CMainFrame& frame = viewer.Frame();
        ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
        ASSERT_TRUE(driver.DeliverFrame(0x60));
        ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount == 1; }));
        const MessageBoxRecorder boxes;
        if (end == End::Watch) {
            driver.SetStatus("OcuSetSnapMode", OCU_ERR_CAMERA_LOST);
            ASSERT_TRUE(WaitFor([&] { return frame.m_bSnapping == 0; }));
            driver.SetStatus("OcuSetSnapMode", OCU_OK);
            EXPECT_FALSE(frame.windowTitle().contains(QStringLiteral("fps")));
        } else {
            driver.SetStatus("OcuCloseSnap", OCU_ERR_CAMERA_LOST);
            if (end == End::Closing)
                frame.close();
            else
                ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
        }
        EXPECT_EQ(frame.m_bSnapping, 0);
        ASSERT_EQ(boxes.Boxes().size(), end == End::Closing ? 0u : 1u);
        if (end != End::Closing) {
            EXPECT_EQ(boxes.Boxes()[0].caption, "Error message");
            EXPECT_EQ(boxes.Boxes()[0].text, QString::fromUtf8(OcuGetErrorString(OCU_ERR_CAMERA_LOST)));
            frame.close();
        }
    }
}

TEST_F(LiveCalls, RefusedOpenAndSnapshotShowTheirBoxesAndChangeNothing) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    driver.SetStatus("OcuOpenSnap", OCU_ERR_CAPTURE_OPEN);
    driver.SetStatus("OcuSnapShot", OCU_ERR_SNAPSHOT);
    const MessageBoxRecorder boxes;
    driver.ClearCalls();
    frame.ExecuteCommand(kIdContinuousSnap);
    frame.ExecuteCommand(kIdSingleSnap);
    EXPECT_EQ(driver.CallTexts(), (Calls{"OcuOpenSnap(fn, ctx)", "OcuSnapShot(buf, 1)"}));
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text, QString::fromUtf8(OcuGetErrorString(OCU_ERR_CAPTURE_OPEN)));
    EXPECT_EQ(boxes.Boxes()[1].text, QString::fromUtf8(OcuGetErrorString(OCU_ERR_SNAPSHOT)));
    EXPECT_EQ(frame.m_bSnapping, 0);
    EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biBitCount, 0); // nothing was drawn
}

TEST_F(LiveCalls, SnapModeChangesOnlyWhenTheCameraTakesIt) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    driver.ClearCalls();
    ASSERT_TRUE(frame.ExecuteCommand(kIdSnapTrigger));
    EXPECT_EQ(frame.m_nSnapMode, 1);
    EXPECT_TRUE(frame.QueryCommand(kIdSnapTrigger).checked);
    driver.SetStatus("OcuSetSnapMode", OCU_ERR_INVALID_ARGUMENT);
    ASSERT_TRUE(frame.ExecuteCommand(kIdSnapContinuation));
    EXPECT_EQ(frame.m_nSnapMode, 1);
    EXPECT_EQ(driver.CallTexts(), (Calls{"OcuSetSnapMode(1)", "OcuSetSnapMode(0)"}));
}

TEST_F(LiveCalls, SingleSnapDrawsTheFrameWithoutTouchingTheRate) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 320, 240);
    const QString title = TitleAfterPaint(frame);
    ASSERT_TRUE(frame.ExecuteCommand(kIdSingleSnap));
    EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biWidth, 320);
    EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biHeight, 240);
    EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biBitCount, 24);
    EXPECT_EQ(DisplayPixel(frame, 0, 0).r, 0x80);
    EXPECT_EQ(frame.m_nFrameCount, 0);
    EXPECT_EQ(frame.windowTitle(), title);
}

TEST_F(LiveCalls, StoppingShowsTheLastImageAgainWhereTheViewWasRepaintedMeanwhile) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 320, 240);
    COcuViewerView& view = *frame.GetActiveView();
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    ASSERT_TRUE(driver.DeliverFrame(0x60));
    ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount == 1; }));
    // Uncovered while no frame comes (a camera waiting for its trigger): the view shows its background.
    view.repaint();
    const QPoint at = view.mapTo(&frame, QPoint(100, 100));
    const auto shown = [&] { return frame.screen()->grabWindow(frame.winId()).toImage().pixel(at); };
    const QRgb background = view.palette().window().color().rgb();
    ASSERT_EQ(shown(), background);

    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    ProcessEvents();
    const Bgr last = DisplayPixel(frame, 100, 100);
    ASSERT_NE(qRgb(last.r, last.g, last.b), background);
    EXPECT_EQ(shown(), qRgb(last.r, last.g, last.b));
    frame.close();
}
