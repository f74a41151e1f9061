// The hand-over of frames from the driver's thread: stopping, closing, resizing and destroying the frame
// while a frame is on its way never deadlocks and never draws a frame that no longer belongs.
#include "LiveTestSupport.h"
#include "OcuSnapTesting.h"
#include "camera/FrameHandOver.h"
#include "frame/CommandIds.h"

#include <QApplication>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <thread>

using namespace ocu;
using namespace ocu::test;
using Calls = std::vector<std::string>;

namespace {

// Waits without serving events, as a user-interface thread busy elsewhere would.
bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Runs `action` on the frame's first delivered frame, before the frame handles it.
class BeforeFirstFrame : public QObject {
public:
    BeforeFirstFrame(CMainFrame& frame, std::function<void()> action) : m_action(std::move(action)) {
        frame.installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == FrameReadyEvent::EventType() && m_action)
            std::exchange(m_action, nullptr)();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_action;
};

class HandOver : public ViewerTest {
protected:
    // A started capture with one frame waiting in the callback, not yet handled.
    void StartWithAFramePending(CMainFrame& frame) {
        ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
        ASSERT_TRUE(driver.DeliverFrame());
        ASSERT_TRUE(SpinUntil([&] { return driver.InCallback(); }));
    }
};

class HandOverAtFullSpeed : public SimViewerTest {
protected:
    const ScopedEnv fps{"OCUSNAP_SIM_FPS", std::string("max")};
};

} // namespace

TEST_F(HandOver, CloseWithAFramePendingReturnsAndPassesTheFrameBy) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    StartWithAFramePending(frame);
    driver.ClearCalls();
    frame.close();
    EXPECT_EQ(driver.CallTexts(), (Calls{"OcuCloseSnap()", "EndOcuDevice()"}));
    EXPECT_TRUE(WaitFor([&] { return !driver.InCallback(); }));
    EXPECT_EQ(frame.m_nFrameCount, 0);
}

TEST_F(HandOver, DestroyingTheFrameWithAFramePendingReleasesTheDriver) {
    auto viewer = std::make_unique<RunningViewer>();
    ASSERT_TRUE(viewer->Started());
    StartWithAFramePending(viewer->Frame());
    driver.ClearCalls();
    viewer.reset(); // the frame goes without a close, as at the end of a session
    // The capture is closed before the buffers go; the device itself is left alone.
    EXPECT_EQ(driver.CallTexts(), Calls{"OcuCloseSnap()"});
    EXPECT_TRUE(SpinUntil([&] { return !driver.InCallback(); }));
}

TEST_F(HandOver, AFrameOfAnEarlierCaptureIsPassedBy) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    StartWithAFramePending(frame);
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    ASSERT_EQ(frame.m_bSnapping, 1);
    EXPECT_TRUE(WaitFor([&] { return !driver.InCallback(); }));
    EXPECT_EQ(frame.m_nFrameCount, 0);
    ASSERT_TRUE(driver.DeliverFrame());
    EXPECT_TRUE(WaitFor([&] { return frame.m_nFrameCount == 1; }));
    frame.close();
}

TEST_F(HandOver, AFrameCutForAnEarlierWindowIsPassedBy) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 640, 480);
    StartWithAFramePending(frame);
    frame.ApplyOutputWindow(0, 0, 320, 240);
    EXPECT_TRUE(WaitFor([&] { return !driver.InCallback(); }));
    EXPECT_EQ(frame.m_nFrameCount, 0);
    ASSERT_TRUE(driver.DeliverFrame());
    EXPECT_TRUE(WaitFor([&] { return frame.m_nFrameCount == 1; }));
    frame.close();
}

TEST_F(HandOver, StoppingOrClosingFromInsideTheFrameHandlerReturnsAtOnce) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    {
        const BeforeFirstFrame stop(frame, [&] { frame.ExecuteCommand(kIdContinuousSnap); });
        StartWithAFramePending(frame);
        EXPECT_TRUE(WaitFor([&] { return !driver.InCallback(); }));
        EXPECT_EQ(frame.m_bSnapping, 0);
        EXPECT_EQ(frame.m_nFrameCount, 0);
    }
    const BeforeFirstFrame close(frame, [&] { frame.close(); });
    StartWithAFramePending(frame);
    EXPECT_TRUE(WaitFor([&] { return !driver.InCallback(); }));
    EXPECT_FALSE(frame.isVisible());
    EXPECT_EQ(frame.m_hDevice, nullptr);
}

TEST_F(HandOverAtFullSpeed, ACaptureServedInsideTheHandlerRestartsDeliveryAndFramesGoOn) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ASSERT_TRUE(StartLive(frame, 320, 240, 2));
    // The detection widens the window; the frame that serves it stops and restarts delivery from within
    // the handler, while the driver's thread waits in the callback.
    frame.m_bGetBadPixels = 1;
    frame.ApplyOutputWindow(0, 0, frame.m_nWidth, frame.m_nHeight);
    ASSERT_TRUE(WaitFor([&] { return frame.m_bGetBadPixels == 0; }));
    const int after = frame.m_nFrameCount;
    EXPECT_TRUE(WaitFor([&] { return frame.m_nFrameCount >= after + 3; }));
    frame.close();
}

TEST_F(HandOverAtFullSpeed, StartStopResizeCloseAndDestroyInAnyOrderNeverHang) {
    std::mt19937 random(20240607);
    const auto pause = [&] { WaitFor([] { return false; }, static_cast<int>(random() % 15)); };
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        auto viewer = std::make_unique<RunningViewer>();
        ASSERT_TRUE(viewer->Started());
        CMainFrame& frame = viewer->Frame();
        ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
        for (int step = 0; step < 8; ++step) {
            pause();
            switch (random() % 4) {
            case 0:
                frame.ExecuteCommand(kIdContinuousSnap);
                break;
            case 1:
                ResizeClient(frame, 64 + static_cast<int>(random() % 600),
                             48 + static_cast<int>(random() % 400));
                break;
            case 2:
                frame.ExecuteCommand(kIdResolution0 + static_cast<int>(random() % 3));
                break;
            default:
                frame.m_nConversion = random() % 2 ? 1 : 6;
                break;
            }
        }
        if (!frame.m_bSnapping)
            frame.ExecuteCommand(kIdContinuousSnap);
        pause();
        // Half the rounds end with the close sequence, the other half destroy the frame with frames in
        // flight; the camera it leaves open is closed after it.
        const OCUHANDLE device = frame.m_hDevice;
        if (round % 2 == 0)
            frame.close();
        viewer.reset();
        if (round % 2 != 0)
            EndOcuDevice(device);
    }
}
