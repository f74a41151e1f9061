// The Aravis backend's tests run against Aravis's in-process fake camera ("Fake_1", a 2048 x 2048
// sensor with Bayer formats): what the driver sent is read back from the camera's own features.
#pragma once

#include "CameraDevice.h"
#include "Library.h"
#include "TestSupport.h"
#include "aravis/AravisCamera.h"
#include "aravis/Features.h"

#include <mutex>
#include <string>
#include <vector>

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

// Frames as a callback sees them: each copied out of the driver's buffer while it is the callback's.
struct FrameLog {
    std::mutex mutex;
    int count = 0;
    int32_t width = -1;
    int32_t height = -1;
    std::vector<uint8_t> last;
    uint8_t* buffer = nullptr;

    static int32_t Receive(SnapInfo* info) {
        auto* log = static_cast<FrameLog*>(info->pContext);
        std::lock_guard lock(log->mutex);
        ++log->count;
        log->width = info->nWidth;
        log->height = info->nHeight;
        log->last.assign(log->buffer, log->buffer + static_cast<size_t>(info->nWidth) * info->nHeight);
        return 1;
    }
    int Count() {
        std::lock_guard lock(mutex);
        return count;
    }
    // Waits until `n` frames in all have arrived; false after the timeout.
    bool WaitFor(int n, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (Count() < n) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
};

} // namespace ocusnap::test
