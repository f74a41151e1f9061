// The threading contract on a real-camera backend: Aravis's fake camera delivers through the library's
// delivery thread, and stop, start and close never wait for a callback, also while the callback waits
// for the very thread that calls them.
#include "AravisSupport.h"
#include "HandOver.h"

namespace ocusnap::test {
namespace {

class AravisThreading : public FakeCameraTest {
protected:
    void SetUp() override {
        ASSERT_EQ(cam.status, OCU_OK);
        ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 64, 32), OCU_OK);
        // 200 frames a second instead of the fake camera's 25, so that the tests need not wait long.
        AravisOf(cam.handle).WithCamera([](ArvCamera* camera) {
            arv_camera_set_integer(camera, "AcquisitionFramePeriod", 5000, nullptr);
        });
    }
    void TearDown() override { DrainDeliveryThreads(); }

    Camera cam;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(2048 * 2048);
    uint8_t* buffers[1] = {buffer.data()};
};

TEST_F(AravisThreading, StopAndStartFromInsideTheCallback) {
    struct Restarter {
        OCUHANDLE handle;
        uint8_t* const* buffers;
        std::atomic<int> frames{0};
        std::atomic<int> failures{0};
    } restarter{cam.handle, buffers};
    ASSERT_EQ(OcuOpenSnap(
                  cam.handle,
                  [](SnapInfo* info) {
                      auto* r = static_cast<Restarter*>(info->pContext);
                      if (++r->frames <= 20) {
                          r->failures += OcuStopSnap(r->handle) != OCU_OK;
                          r->failures += OcuStartSnap(r->handle, r->buffers, 1) != OCU_OK;
                      }
                      return 1;
                  },
                  &restarter),
              OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    for (int i = 0; i < 5000 && restarter.frames < 30; ++i) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_GE(restarter.frames, 30) << "delivery went on after each restart";
    EXPECT_EQ(restarter.failures, 0);
    EXPECT_EQ(ReturnsPromptly([&] { return OcuCloseSnap(cam.handle); }), OCU_OK);
}

TEST_F(AravisThreading, StopStartAndCloseReturnWhileTheCallbackWaitsForTheirThread) {
    Viewer viewer;
    ASSERT_EQ(OcuOpenSnap(cam.handle, SendToViewer, &viewer), OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    // The delivery thread now waits inside its callback for this thread, which calls the driver.
    ASSERT_TRUE(viewer.handOver.WaitPending());
    EXPECT_EQ(ReturnsPromptly([&] { return OcuStopSnap(cam.handle); }), OCU_OK);
    EXPECT_EQ(ReturnsPromptly([&] { return OcuStartSnap(cam.handle, buffers, 1); }), OCU_OK);
    ASSERT_TRUE(viewer.handOver.Pump());
    ASSERT_TRUE(viewer.handOver.WaitPending());
    EXPECT_EQ(ReturnsPromptly([&] { return OcuCloseSnap(cam.handle); }), OCU_OK);
    viewer.closed = true;
    // The callback that was waiting returns; no other starts.
    viewer.handOver.Release();
    // Once the closed capture's thread is joined no callback can come any more: the count is final.
    ASSERT_NO_FATAL_FAILURE(DrainDeliveryThreads());
    EXPECT_EQ(viewer.callbacksAfterClose, 0);

    // Ending the camera while a callback waits for the ending thread returns too.
    Viewer second;
    ASSERT_EQ(OcuOpenSnap(cam.handle, SendToViewer, &second), OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    ASSERT_TRUE(second.handOver.WaitPending());
    EXPECT_EQ(ReturnsPromptly([&] { return EndOcuDevice(cam.handle); }), OCU_OK);
    cam.handle = nullptr;
    second.closed = true;
    second.handOver.Release();
}

TEST_F(AravisThreading, HundredsOfCaptureCyclesLeaveNothingBehind) {
    FrameLog log;
    log.buffer = buffer.data();
    const size_t threadsBefore = ThreadCount();
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(OcuOpenSnap(cam.handle, FrameLog::Receive, &log), OCU_OK) << i;
        ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK) << i;
        if (i % 50 == 0) {
            ASSERT_TRUE(log.WaitFor(log.Count() + 1)) << i;
        }
        ASSERT_EQ(OcuStopSnap(cam.handle), OCU_OK) << i;
        ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK) << i;
    }
    DrainDeliveryThreads();
    EXPECT_LE(ThreadCount(), threadsBefore + 1); // at most the reaping in flight
    {
        std::lock_guard lock(log.mutex);
        EXPECT_EQ(log.width, 64);
        EXPECT_EQ(log.height, 32);
    }
    // Whole devices too: each one opens the camera, streams, and lets it go with its stream.
    ASSERT_EQ(EndOcuDevice(cam.handle), OCU_OK);
    cam.handle = nullptr;
    for (int i = 0; i < 30; ++i) {
        OCUHANDLE handle = nullptr;
        ASSERT_EQ(BeginOcuDevice(OCU_FIRST_DEVICE, &handle), OCU_OK) << i;
        ASSERT_EQ(OcuSetOutputWindow(handle, 0, 0, 64, 32), OCU_OK);
        ASSERT_EQ(OcuOpenSnap(handle, FrameLog::Receive, &log), OCU_OK);
        ASSERT_EQ(OcuStartSnap(handle, buffers, 1), OCU_OK);
        ASSERT_EQ(EndOcuDevice(handle), OCU_OK) << i;
    }
    DrainDeliveryThreads();
    EXPECT_LE(ThreadCount(), threadsBefore + 1);
}

} // namespace
} // namespace ocusnap::test
