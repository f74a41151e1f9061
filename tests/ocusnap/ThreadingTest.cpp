// The threading contract, tested hard: one delivery thread per capture, stop, start and close that
// never wait for a callback (also while the callback waits for the caller, as a viewer's synchronous
// hand-over to its UI thread does), no writes after close, and nothing left behind.
#include "CameraDevice.h"
#include "HandOver.h"
#include "OcuSnapTesting.h"
#include "TestSupport.h"
#include "sim/SimCamera.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace ocusnap::test {
namespace {

using namespace std::chrono_literals;

class Threading : public ::testing::Test {
protected:
    ScopedEnv env{{"OCUSNAP_SIM_FPS", "max"}, {"OCUSNAP_SIM_NOISE", "0"}};
    void SetUp() override {
        ASSERT_EQ(cam.status, OCU_OK);
        ASSERT_EQ(OcuSetResolution(cam.handle, 2), OCU_OK);
        ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 320, 240), OCU_OK);
        // One capture first: the scene gets prepared, and the threads that the runtime (or a sanitizer)
        // starts on first use exist before the tests count threads.
        std::atomic<int> frames{0};
        ASSERT_EQ(OcuOpenSnap(
                      cam.handle,
                      [](SnapInfo* info) {
                          static_cast<std::atomic<int>*>(info->pContext)->fetch_add(1);
                          return int32_t{1};
                      },
                      &frames),
                  OCU_OK);
        ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
        ASSERT_TRUE(WaitUntil([&] { return frames > 0; }));
        ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK);
        DrainDeliveryThreads();
    }
    Camera cam;
    Frame frame;
    uint8_t* const buffers[1] = {frame.data()};
};

TEST_F(Threading, FramesFillTheBufferBeforeTheCallbackAndNotDuringIt) {
    struct Check {
        const uint8_t* buffer;
        std::atomic<int> frames{0};
        std::atomic<int> overwritten{0};
        std::atomic<int> empty{0};
        std::thread::id thread;
        std::atomic<int> otherThread{0};
    } check{frame.data(), {}, {}, {}, {}, {}};
    std::fill(frame.pixels.begin(), frame.pixels.end(), uint8_t{0});
    ASSERT_EQ(OcuOpenSnap(
                  cam.handle,
                  [](SnapInfo* info) {
                      auto* c = static_cast<Check*>(info->pContext);
                      if (c->frames == 0) {
                          c->thread = std::this_thread::get_id();
                      } else if (c->thread != std::this_thread::get_id()) {
                          ++c->otherThread;
                      }
                      const size_t n = static_cast<size_t>(info->nWidth) * info->nHeight;
                      c->empty += std::all_of(c->buffer, c->buffer + n, [](uint8_t v) { return v == 0; });
                      // Mark the frame, hold it a while, and see that nobody wrote over it.
                      std::vector<uint8_t> before(c->buffer, c->buffer + n);
                      std::this_thread::sleep_for(2ms);
                      c->overwritten += !std::equal(before.begin(), before.end(), c->buffer);
                      ++c->frames;
                      return int32_t{1};
                  },
                  &check),
              OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    ASSERT_TRUE(WaitUntil([&] { return check.frames >= 20; }));
    ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK);
    DrainDeliveryThreads();
    EXPECT_EQ(check.empty, 0);
    EXPECT_EQ(check.overwritten, 0);
    EXPECT_EQ(check.otherThread, 0);
}

// While a callback runs, the simulated camera renders the next frame into buffers of its own, never into
// the caller's: the buffer holds each whole frame when its callback starts and nothing touches it until the
// callback returns, even once the next frame is ready.
TEST(RenderAhead, TheNextFrameIsRenderedDuringTheCallbackButNotIntoTheBuffer) {
    namespace sim = detail::sim;
    sim::SimConfig config;
    config.noise = false;
    config.freeze = true; // every frame alike, so each can be checked whole
    config.maxFps = true;
    config.controlPath = "/nonexistent/ocusnap-sim";
    for (const auto& [sensorWidth, sensorHeight] : {std::pair{0, 0}, {2592, 1944}}) {
        config.sensorWidth = sensorWidth;
        config.sensorHeight = sensorHeight;
        const auto camera = std::make_shared<sim::SimCamera>(config);
        detail::CameraDevice device(camera);
        const ResolutionEntry image = camera->Caps().resolutions[0];
        const size_t bytes = static_cast<size_t>(image.nWidth) * static_cast<size_t>(image.nHeight);
        std::vector<uint8_t> expected(bytes);
        uint8_t* const snapBuffers[] = {expected.data()};
        ASSERT_EQ(device.SnapShot(snapBuffers, 1), OCU_OK);

        struct Check {
            std::shared_ptr<sim::SimCamera> camera;
            const std::vector<uint8_t>* expected;
            std::vector<uint8_t> buffer;
            uint64_t renderedBefore = 0;
            std::atomic<int> frames{0};
            std::atomic<int> incomplete{0};
            std::atomic<int> notAhead{0};
            std::atomic<int> written{0};
        } check{camera, &expected, std::vector<uint8_t>(bytes), camera->FramesRendered()};
        static constexpr uint8_t kPoison = 0x5A;
        ASSERT_EQ(device.OpenSnap(
                      [](SnapInfo* info) {
                          auto* c = static_cast<Check*>(info->pContext);
                          c->incomplete += c->buffer != *c->expected;
                          // Poison the buffer, and hold the callback until the frame after this one has
                          // been rendered: the render-ahead happens now, and must not touch the buffer.
                          std::fill(c->buffer.begin(), c->buffer.end(), kPoison);
                          const uint64_t target = c->renderedBefore + static_cast<uint64_t>(++c->frames) + 1;
                          const auto deadline = std::chrono::steady_clock::now() + 10s;
                          while (c->camera->FramesRendered() < target &&
                                 std::chrono::steady_clock::now() < deadline) {
                              std::this_thread::sleep_for(100us);
                          }
                          c->notAhead += c->camera->FramesRendered() < target;
                          std::this_thread::sleep_for(1ms);
                          c->written += std::any_of(c->buffer.begin(), c->buffer.end(),
                                                    [](uint8_t v) { return v != kPoison; });
                          return int32_t{1};
                      },
                      &check),
                  OCU_OK);
        uint8_t* const buffers[] = {check.buffer.data()};
        ASSERT_EQ(device.StartSnap(buffers, 1), OCU_OK);
        ASSERT_TRUE(WaitUntil([&] { return check.frames >= 12; })) << sensorWidth;
        ASSERT_EQ(device.CloseSnap(), OCU_OK);
        DrainDeliveryThreads();
        EXPECT_EQ(check.incomplete, 0) << sensorWidth;
        EXPECT_EQ(check.notAhead, 0) << sensorWidth;
        EXPECT_EQ(check.written, 0) << sensorWidth;
    }
}

TEST_F(Threading, StopSetWindowStartFromInsideTheFrameHandler) {
    Viewer viewer;
    int handled = 0;
    std::vector<std::pair<int32_t, int32_t>> sizes;
    viewer.onFrame = [&](SnapInfo& info) {
        // The UI thread, while the delivery thread waits in the hand-over.
        ++handled;
        sizes.emplace_back(info.nWidth, info.nHeight);
        const int32_t w = handled % 2 ? 160 : 320;
        const int32_t h = handled % 2 ? 120 : 240;
        EXPECT_EQ(ReturnsPromptly([&] { return OcuStopSnap(cam.handle); }), OCU_OK);
        EXPECT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, w, h), OCU_OK);
        EXPECT_EQ(ReturnsPromptly([&] { return OcuStartSnap(cam.handle, buffers, 1); }), OCU_OK);
    };
    ASSERT_EQ(OcuOpenSnap(cam.handle, SendToViewer, &viewer), OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(viewer.handOver.Pump()) << "delivery stopped after " << i << " frames";
    }
    viewer.closed = true;
    EXPECT_EQ(ReturnsPromptly([&] { return OcuCloseSnap(cam.handle); }), OCU_OK);
    viewer.handOver.Release();
    // After the first frame, every frame has the window that the previous handler set.
    for (size_t i = 1; i < sizes.size(); ++i) {
        EXPECT_EQ(sizes[i].first, i % 2 ? 160 : 320) << i;
        EXPECT_EQ(sizes[i].second, i % 2 ? 120 : 240) << i;
    }
}

TEST_F(Threading, StopAndStartOnTheDeliveryThreadItself) {
    // The first 50 callbacks pause and resume delivery from the delivery thread; later ones do nothing,
    // so that every stop and start happens while the capture is surely open (a callback still running
    // when the capture closes would rightly be told that no capture is open).
    constexpr int kFrames = 50;
    struct State {
        OCUHANDLE h;
        uint8_t* const* buffers;
        std::atomic<int> frames{0};
        std::atomic<int> failures{0};
    } state{cam.handle, buffers};
    ASSERT_EQ(OcuOpenSnap(
                  cam.handle,
                  [](SnapInfo* info) {
                      auto* s = static_cast<State*>(info->pContext);
                      if (s->frames.load() >= kFrames)
                          return int32_t{1};
                      s->failures += OcuStopSnap(s->h) != OCU_OK;
                      s->failures += OcuStartSnap(s->h, s->buffers, 1) != OCU_OK;
                      ++s->frames;
                      return int32_t{1};
                  },
                  &state),
              OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    ASSERT_TRUE(WaitUntil([&] { return state.frames >= kFrames; }));
    ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK);
    DrainDeliveryThreads();
    EXPECT_EQ(state.frames, kFrames);
    EXPECT_EQ(state.failures, 0);
}

TEST_F(Threading, CloseReturnsWhileTheCallbackWaitsForTheClosingThread) {
    Viewer viewer;
    ASSERT_EQ(OcuOpenSnap(cam.handle, SendToViewer, &viewer), OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    ASSERT_TRUE(viewer.handOver.Pump());
    ASSERT_TRUE(viewer.handOver.WaitPending()); // the delivery thread now waits for this thread

    // Closing from the thread it waits for: must return at once, not join the delivery thread.
    ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK);
    viewer.closed = true;
    std::fill(frame.pixels.begin(), frame.pixels.end(), uint8_t{0x77});

    // The pending hand-over completes; no callback starts and nothing is written afterwards.
    ASSERT_TRUE(viewer.handOver.Pump());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(viewer.callbacksAfterClose, 0);
    EXPECT_TRUE(std::all_of(frame.pixels.begin(), frame.pixels.end(), [](uint8_t v) { return v == 0x77; }));
}

TEST_F(Threading, CloseFromInsideTheFrameHandler) {
    Viewer viewer;
    viewer.onFrame = [&](SnapInfo&) {
        EXPECT_EQ(ReturnsPromptly([&] { return OcuCloseSnap(cam.handle); }), OCU_OK);
        viewer.closed = true;
    };
    ASSERT_EQ(OcuOpenSnap(cam.handle, SendToViewer, &viewer), OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    ASSERT_TRUE(viewer.handOver.Pump());
    EXPECT_FALSE(viewer.handOver.Pump(100ms)); // no further frame
    EXPECT_EQ(viewer.callbacksAfterClose, 0);
    // And a new capture opens at once on the same camera.
    viewer.onFrame = nullptr;
    viewer.closed = false;
    ASSERT_EQ(OcuOpenSnap(cam.handle, SendToViewer, &viewer), OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    EXPECT_TRUE(viewer.handOver.Pump());
    viewer.closed = true;
    ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK);
    viewer.handOver.Release();
}

TEST_F(Threading, EndDeviceWhileTheCallbackIsBlockedThenTheThreadEndsByItself) {
    const size_t threadsBefore = ThreadCount();
    {
        Viewer viewer;
        ASSERT_EQ(OcuOpenSnap(cam.handle, SendToViewer, &viewer), OCU_OK);
        ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
        ASSERT_TRUE(viewer.handOver.WaitPending());
        EXPECT_EQ(ReturnsPromptly([&] { return EndOcuDevice(cam.handle); }), OCU_OK);
        viewer.closed = true;
        EXPECT_EQ(OcuStopSnap(cam.handle), OCU_ERR_INVALID_HANDLE);
        cam.handle = nullptr;
        ASSERT_TRUE(viewer.handOver.Pump());
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(viewer.callbacksAfterClose, 0);
    }
    // The thread, once out of its callback, is joined at the next opportunity: nothing leaks.
    EXPECT_EQ(detail::ThreadReaper::Instance().Pending(), 0u);
    EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST_F(Threading, AThousandOpenStartStopCloseCyclesLeaveNothingBehind) {
    const size_t threadsBefore = ThreadCount();
    std::atomic<int> frames{0};
    size_t maxPending = 0;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(OcuOpenSnap(
                      cam.handle,
                      [](SnapInfo* info) {
                          static_cast<std::atomic<int>*>(info->pContext)->fetch_add(1);
                          return int32_t{1};
                      },
                      &frames),
                  OCU_OK);
        ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
        if (i % 10 == 0) {
            const int before = frames;
            ASSERT_TRUE(WaitUntil([&] { return frames != before; })) << i;
        }
        ASSERT_EQ(OcuStopSnap(cam.handle), OCU_OK);
        ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK);
        // Each open joins the threads of earlier captures: they never pile up.
        maxPending = std::max(maxPending, detail::ThreadReaper::Instance().Pending());
    }
    EXPECT_GE(frames, 100);
    EXPECT_LE(maxPending, 2u);
    ASSERT_EQ(EndOcuDevice(cam.handle), OCU_OK);
    cam.handle = nullptr;
    DrainDeliveryThreads();
    EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST_F(Threading, AModeChangeDuringDeliveryCutsEveryLaterFrame) {
    // The viewer changes the mode while frames flow, then stops, sets the window and starts. No frame
    // written into the buffer after OcuSetResolution has returned may have the old, larger window.
    // Without frame timing, a frame's timestamp is the moment it was written into the buffer.
    struct Seen {
        int32_t width;
        uint64_t writtenUs;
    };
    struct Frames {
        std::mutex m;
        std::vector<Seen> seen;
        size_t Count() {
            std::lock_guard lock(m);
            return seen.size();
        }
    } frames;
    auto nowUs = [] {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    };
    ASSERT_EQ(OcuSetResolution(cam.handle, 0), OCU_OK);
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 1280, 1024), OCU_OK);
    ASSERT_EQ(OcuOpenSnap(
                  cam.handle,
                  [](SnapInfo* info) {
                      auto* f = static_cast<Frames*>(info->pContext);
                      std::lock_guard lock(f->m);
                      f->seen.push_back({info->nWidth, info->nTimestampUs});
                      return int32_t{1};
                  },
                  &frames),
              OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    for (int round = 0; round < 30; ++round) {
        const int32_t mode = 1 + round % 2;
        const int32_t width = mode == 1 ? 640 : 320;
        ASSERT_TRUE(WaitUntil([&] { return frames.Count() >= 2; })) << "round " << round;
        ASSERT_EQ(OcuSetResolution(cam.handle, mode), OCU_OK);
        const uint64_t changedUs = nowUs();
        // Gains and exposure change freely meanwhile.
        ASSERT_EQ(OcuAGCControl(cam.handle, static_cast<uint8_t>(OCU_GAIN_RED + round % 4), round), OCU_OK);
        ASSERT_EQ(OcuAECControl(cam.handle, 1, round * 10), OCU_OK);
        const size_t before = frames.Count();
        ASSERT_TRUE(WaitUntil([&] { return frames.Count() >= before + 3; })) << "round " << round;
        {
            std::lock_guard lock(frames.m);
            for (const Seen& f : frames.seen) {
                if (f.writtenUs > changedUs) {
                    EXPECT_LE(f.width, width) << "round " << round;
                }
            }
            frames.seen.clear();
        }
        // Back to the whole image of mode 0, as the viewer's window restore would.
        ASSERT_EQ(OcuStopSnap(cam.handle), OCU_OK);
        ASSERT_EQ(OcuSetResolution(cam.handle, 0), OCU_OK);
        ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 1280, 1024), OCU_OK);
        ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    }
    ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK);
    DrainDeliveryThreads();
}

// The process may end while a delivery thread is blocked in a callback that will never return (the
// program's UI went away without releasing its hand-over): exit still runs cleanly.
TEST(ThreadingExit, ProcessExitWithACallbackBlockedForEver) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("OCUSNAP_SIM_FPS", "max", 1);
            OCUHANDLE h = nullptr;
            if (BeginOcuDevice(1, &h) != OCU_OK) {
                std::_Exit(3);
            }
            static std::atomic<bool> blocked{false};
            static std::vector<uint8_t> buffer(1280 * 1024);
            uint8_t* const buffers[] = {buffer.data()};
            OcuOpenSnap(
                h,
                [](SnapInfo*) {
                    blocked = true;
                    std::promise<void>().get_future().wait(); // never fulfilled
                    return int32_t{1};
                },
                nullptr);
            OcuStartSnap(h, buffers, 1);
            while (!blocked) {
                std::this_thread::sleep_for(1ms);
            }
            std::exit(0); // the camera is still open and capturing
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(ThreadingExit, ProcessExitWhileCapturing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            OCUHANDLE h = nullptr;
            if (BeginOcuDevice(1, &h) != OCU_OK) {
                std::_Exit(3);
            }
            static std::atomic<int> frames{0};
            static std::vector<uint8_t> buffer(1280 * 1024);
            uint8_t* const buffers[] = {buffer.data()};
            OcuOpenSnap(
                h,
                [](SnapInfo*) {
                    ++frames;
                    return int32_t{1};
                },
                nullptr);
            OcuStartSnap(h, buffers, 1);
            while (frames == 0) {
                std::this_thread::sleep_for(1ms);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(RecordingThreading, DeliveryKeepsTheContract) {
    testing::RecordingDriver driver;
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    Frame frame;
    uint8_t* const buffers[] = {frame.data()};
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 64, 32), OCU_OK);
    Viewer viewer;
    ASSERT_EQ(OcuOpenSnap(cam.handle, SendToViewer, &viewer), OCU_OK);
    EXPECT_FALSE(driver.DeliverFrame()); // not started yet
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    ASSERT_TRUE(driver.DeliverFrame(0x42));
    ASSERT_TRUE(viewer.handOver.WaitPending());
    EXPECT_TRUE(driver.InCallback());
    EXPECT_EQ(frame.pixels[64 * 32 - 1], 0x42);
    EXPECT_EQ(frame.pixels[64 * 32], 0);
    ASSERT_TRUE(viewer.handOver.Pump());
    for (int i = 0; i < 500 && driver.FramesDelivered() < 1; ++i) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(driver.FramesDelivered(), 1);
    // Close while the callback waits for this thread.
    ASSERT_TRUE(driver.DeliverFrame(0x43));
    ASSERT_TRUE(viewer.handOver.WaitPending());
    EXPECT_EQ(ReturnsPromptly([&] { return OcuCloseSnap(cam.handle); }), OCU_OK);
    ASSERT_TRUE(viewer.handOver.Pump());
    EXPECT_FALSE(driver.DeliverFrame());
}

} // namespace
} // namespace ocusnap::test
