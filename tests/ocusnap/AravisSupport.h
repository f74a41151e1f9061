// The Aravis backend's tests run against Aravis's in-process fake camera ("Fake_1", a 2048 x 2048
// sensor with Bayer formats): what the driver sent is read back from the camera's own features.
#pragma once

#include "CameraDevice.h"
#include "Library.h"
#include "TestSupport.h"
#include "aravis/AravisCamera.h"
#include "aravis/Features.h"

#include <chrono>
#include <span>
#include <string>

namespace ocusnap::test {

// Tests on the fake camera, the backend that the environment selects; no search for real cameras (it
// would send discovery packets to the network).
class FakeCameraTest : public ::testing::Test {
protected:
    ScopedEnv env{{"OCUSNAP_CAMERA", "aravis"}, {"OCUSNAP_ARAVIS_FAKE", "only"}};
};

inline detail::aravis::AravisCamera& AravisOf(OCUHANDLE handle) {
    const std::shared_ptr<detail::Device> device = detail::Library::Instance().Find(handle);
    auto* camera = dynamic_cast<detail::CameraDevice*>(device.get());
    return dynamic_cast<detail::aravis::AravisCamera&>(camera->Model());
}

// A feature as the camera holds it now (-1 when it cannot be read).
inline double CameraNumber(OCUHANDLE handle, const char* name) {
    double value = -1;
    AravisOf(handle).WithCamera([&](ArvCamera* camera) {
        detail::aravis::Features features(camera);
        value = features.Number(name).value_or(-1);
    });
    return value;
}

inline std::string CameraEnum(OCUHANDLE handle, const char* name) {
    std::string value;
    AravisOf(handle).WithCamera([&](ArvCamera* camera) {
        detail::aravis::Features features(camera);
        value = features.Enum(name).value_or("");
    });
    return value;
}

// More frames than a stream has buffers (6): a stream that loses its buffers one by one is seen to stop.
inline constexpr int kBeyondTheQueue = 8;

// Frames keep coming, beyond the stream's buffers, at width x height.
inline void ExpectFramesOfSize(FrameLog& log, int32_t width, int32_t height, const std::string& step,
                               std::chrono::seconds timeout) {
    const int from = log.Count();
    ASSERT_TRUE(log.WaitFor(from + kBeyondTheQueue, timeout)) << step << ": delivery stopped";
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.width, width) << step;
    EXPECT_EQ(log.height, height) << step;
}

// What the viewer changes while frames come: a resolution mode, or (mode -1) an output window set between
// a stop and a start, as a resize does; and the size of the frames after it.
struct StreamStep {
    int32_t mode;
    int32_t width, height;
    int32_t expectedWidth, expectedHeight;
};

// Each change in turn, and the frames that keep coming after it.
inline void ExpectFramesThroughSteps(OCUHANDLE handle, FrameLog& log, uint8_t* const* buffers,
                                     std::span<const StreamStep> steps, std::chrono::seconds timeout) {
    for (const StreamStep& s : steps) {
        const std::string name = (s.mode >= 0 ? "mode " + std::to_string(s.mode) : "window ") +
                                 std::to_string(s.width) + "x" + std::to_string(s.height);
        if (s.mode >= 0) {
            ASSERT_EQ(OcuSetResolution(handle, s.mode), OCU_OK) << name;
        } else {
            ASSERT_EQ(OcuStopSnap(handle), OCU_OK);
            ASSERT_EQ(OcuSetOutputWindow(handle, 0, 0, s.width, s.height), OCU_OK) << name;
            ASSERT_EQ(OcuStartSnap(handle, buffers, 1), OCU_OK);
        }
        ASSERT_NO_FATAL_FAILURE(ExpectFramesOfSize(log, s.expectedWidth, s.expectedHeight, name, timeout));
    }
}

} // namespace ocusnap::test
