// Streaming from a real transport's point of view: Aravis's fake camera through window and mode changes,
// incomplete buffers and a receiver slower than the camera. The waits ask for more frames than the
// stream holds buffers, so that a stream that loses its buffers one by one is seen to stop.
#include "AravisSupport.h"
#include "aravis/Channel.h"

namespace ocusnap::test {
namespace {

using namespace std::chrono_literals;

class AravisStreaming : public FakeCameraTest {
protected:
    void SetUp() override {
        ASSERT_EQ(cam.status, OCU_OK);
        SetFramePeriod(5000); // 200 frames a second: the tests need not wait long
        log.buffer = buffer.data();
    }
    void TearDown() override {
        if (cam.handle) {
            OcuCloseSnap(cam.handle);
        }
        DrainDeliveryThreads();
    }
    void SetFramePeriod(int64_t us) {
        AravisOf(cam.handle).WithCamera([&](ArvCamera* camera) {
            arv_camera_set_integer(camera, "AcquisitionFramePeriod", us, nullptr);
        });
    }
    void SetBehindTheDriversBack(const char* name, int64_t value) {
        AravisOf(cam.handle).WithCamera([&](ArvCamera* camera) {
            arv_camera_set_integer(camera, name, value, nullptr);
        });
    }
    uint64_t StreamsMade() { return AravisOf(cam.handle).StreamChannel()->StreamsMade(); }
    void ExpectFramesOfSize(int32_t width, int32_t height, const std::string& step) {
        ocusnap::test::ExpectFramesOfSize(log, width, height, step, 20s);
    }

    Camera cam;
    FrameLog log;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(2048 * 2048);
    uint8_t* buffers[1] = {buffer.data()};
};

TEST_F(AravisStreaming, FramesKeepComingThroughWindowAndModeChanges) {
    ASSERT_EQ(OcuOpenSnap(cam.handle, FrameLog::Receive, &log), OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    // Windows change between a stop and a start (as a resize does), modes while frames come; the whole
    // sensor is what a bad-pixel capture asks for. Each shrink follows a grow.
    const StreamStep steps[] = {
        {-1, 2048, 2048, 2048, 2048}, {-1, 64, 32, 64, 32},     {-1, 640, 480, 640, 480},
        {-1, 100, 50, 100, 50},       {1, 0, 0, 100, 50},       {-1, 1024, 1024, 1024, 1024},
        {2, 0, 0, 512, 512},          {-1, 64, 64, 64, 64},     {0, 0, 0, 64, 64},
        {-1, 2048, 2048, 2048, 2048}, {-1, 320, 240, 320, 240},
    };
    ASSERT_NO_FATAL_FAILURE(ExpectFramesThroughSteps(cam.handle, log, buffers, steps, 20s));
    // A single frame after all of it, as Single Snap takes it.
    ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK);
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 64, 32), OCU_OK);
    EXPECT_EQ(OcuSnapShot(cam.handle, buffers, 1), OCU_OK);
}

TEST_F(AravisStreaming, IncompleteBuffersGoBackToTheStream) {
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 64, 32), OCU_OK);
    ASSERT_EQ(OcuOpenSnap(cam.handle, FrameLog::Receive, &log), OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    ASSERT_NO_FATAL_FAILURE(ExpectFramesOfSize(64, 32, "before"));
    // A region larger than the buffers, set behind the driver's back: every buffer comes back
    // incomplete. The pause only gives the stream time to send all of its buffers so; the verdict is
    // what follows.
    SetBehindTheDriversBack("Height", 64);
    std::this_thread::sleep_for(200ms);
    SetBehindTheDriversBack("Height", 32);
    ASSERT_NO_FATAL_FAILURE(ExpectFramesOfSize(64, 32, "after incomplete buffers"));
    // Started while the camera sends frames of another region: none of them is delivered, and every
    // buffer still comes back once the camera sends the window again.
    ASSERT_EQ(OcuStopSnap(cam.handle), OCU_OK);
    SetBehindTheDriversBack("Height", 64);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    std::this_thread::sleep_for(200ms);
    SetBehindTheDriversBack("Height", 32);
    ASSERT_NO_FATAL_FAILURE(ExpectFramesOfSize(64, 32, "after frames of another region"));
}

TEST_F(AravisStreaming, EachNewPayloadGetsAStreamMadeForIt) {
    // USB3 Vision fixes the size it expects when its stream is made: a stream is made anew for every
    // new payload, before the camera sends it, and kept while the payload stays.
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 64, 32), OCU_OK);
    ASSERT_EQ(OcuOpenSnap(cam.handle, FrameLog::Receive, &log), OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    uint64_t made = StreamsMade();
    EXPECT_GE(made, 1u);
    struct Step {
        const char* name;
        int32_t mode; // -1: a window change
        int32_t left, width, height;
        bool newStream;
    };
    const Step steps[] = {
        {"another place, same size", -1, 64, 64, 32, false},
        {"same window again", -1, 64, 64, 32, false},
        {"larger", -1, 0, 640, 480, true},
        {"smaller", -1, 0, 64, 32, true},
        {"mode 1 while streaming: the window stays", 1, 0, 0, 0, false},
        {"larger in mode 1", -1, 0, 1024, 1024, true},
        {"mode 2 cuts it while streaming", 2, 0, 0, 0, true},
    };
    for (const Step& s : steps) {
        if (s.mode >= 0) {
            ASSERT_EQ(OcuSetResolution(cam.handle, s.mode), OCU_OK) << s.name;
        } else {
            ASSERT_EQ(OcuStopSnap(cam.handle), OCU_OK);
            ASSERT_EQ(OcuSetOutputWindow(cam.handle, s.left, 0, s.width, s.height), OCU_OK) << s.name;
            ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
        }
        EXPECT_EQ(StreamsMade(), made + (s.newStream ? 1 : 0)) << s.name;
        made = StreamsMade();
        const int from = log.Count();
        ASSERT_TRUE(log.WaitFor(from + kBeyondTheQueue, 20s)) << s.name;
    }
    // A single frame of the same payload takes the stream there is.
    ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK);
    ASSERT_EQ(OcuSnapShot(cam.handle, buffers, 1), OCU_OK);
    EXPECT_EQ(StreamsMade(), made);
}

TEST_F(AravisStreaming, ASlowReceiverSeesTheNewestFrameAndTheOlderOnesAreDropped) {
    // The receiver takes 150 ms a frame, the camera sends one every 5 ms into its 6 buffers. Taken
    // oldest first, each frame shown would be the one after the last (and six receiver periods old);
    // the newest is several frames on.
    struct Receiver {
        std::mutex mutex;
        const uint8_t* buffer = nullptr;
        std::vector<int> frameIds; // modulo 255
    } receiver;
    receiver.buffer = buffer.data();
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 64, 32), OCU_OK);
    // At gain 0 and 10 ms the fake camera's sample at (x, y) is (x + y + frame id) modulo 255, and ADC
    // level 0 delivers it as it is.
    ASSERT_EQ(OcuADCControl(cam.handle, 0, 0), OCU_OK);
    SetBehindTheDriversBack("ExposureTimeAbs", 10000);
    SetBehindTheDriversBack("GainRaw", 0);
    ASSERT_EQ(OcuOpenSnap(
                  cam.handle,
                  [](SnapInfo* info) {
                      auto* r = static_cast<Receiver*>(info->pContext);
                      {
                          std::lock_guard lock(r->mutex);
                          r->frameIds.push_back(r->buffer[0]);
                      }
                      std::this_thread::sleep_for(150ms);
                      return 1;
                  },
                  &receiver),
              OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(receiver.mutex);
        return receiver.frameIds.size() >= 10;
    }));
    ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK);
    DrainDeliveryThreads();
    // From the third frame on the stream has filled up while the receiver was busy.
    std::vector<int> steps;
    for (size_t i = 3; i < receiver.frameIds.size(); ++i) {
        steps.push_back((receiver.frameIds[i] - receiver.frameIds[i - 1] + 255) % 255);
    }
    std::sort(steps.begin(), steps.end());
    EXPECT_GE(steps[steps.size() / 2], 2) << "frames shown one after the other: the oldest, not the newest";
    EXPECT_GT(AravisOf(cam.handle).StreamChannel()->Dropped(), 0u);
}

} // namespace
} // namespace ocusnap::test
