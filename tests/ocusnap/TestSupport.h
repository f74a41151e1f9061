// Helpers for the driver's tests: environment settings, an open camera, and frame statistics.
#pragma once

#include "OcuSnap.h"
#include "ThreadReaper.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ocusnap::test {

// Sets environment variables for the scope and restores them after (tests run single-threaded when
// they change the environment: only BeginOcuDevice reads it).
class ScopedEnv {
public:
    ScopedEnv() = default;
    explicit ScopedEnv(std::initializer_list<std::pair<const char*, const char*>> vars) {
        for (const auto& [name, value] : vars) {
            Set(name, value);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        for (const auto& [name, old] : m_saved) {
            if (old) {
                setenv(name.c_str(), old->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    void Set(const char* name, const char* value) {
        if (!m_saved.count(name)) {
            const char* old = std::getenv(name);
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }

private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

// Waits until every closed capture's thread has left its callback and been joined. A callback that
// runs while OcuCloseSnap returns finishes on its own, so a test whose callback context lives on its
// stack waits for this before the context goes.
inline void DrainDeliveryThreads() {
    auto& reaper = detail::ThreadReaper::Instance();
    for (int i = 0; i < 5000 && reaper.Pending() > 0; ++i) {
        reaper.Reap();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(reaper.Pending(), 0u);
}

// Waits until `done` holds; false after the timeout. The timeout only bounds a capture that has stopped
// delivering: a loaded machine may take long, and the wait ends as soon as the condition holds.
template <typename Done>
bool WaitUntil(Done&& done, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Frames as a callback sees them: each copied out of the driver's buffer while it is the callback's.
struct FrameLog {
    std::mutex mutex;
    std::condition_variable arrived;
    int count = 0;
    int32_t width = -1;
    int32_t height = -1;
    std::vector<uint8_t> last;
    uint8_t* buffer = nullptr;
    // Sees every frame's bytes, under `mutex`, for a test that needs more than the last frame.
    std::function<void(const uint8_t*, size_t)> onFrame;

    static int32_t Receive(SnapInfo* info) {
        auto* log = static_cast<FrameLog*>(info->pContext);
        const size_t bytes = static_cast<size_t>(info->nWidth) * info->nHeight;
        std::lock_guard lock(log->mutex);
        ++log->count;
        log->width = info->nWidth;
        log->height = info->nHeight;
        log->last.assign(log->buffer, log->buffer + bytes);
        if (log->onFrame) {
            log->onFrame(log->buffer, bytes);
        }
        log->arrived.notify_all();
        return 1;
    }
    int Count() {
        std::lock_guard lock(mutex);
        return count;
    }
    // Waits until `n` frames in all have arrived; false after the timeout.
    bool WaitFor(int n, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, timeout, [&] { return count >= n; });
    }
    std::vector<uint8_t> Last() {
        std::lock_guard lock(mutex);
        return last;
    }
};

// An open camera for one test; ends it when the test is done.
class Camera {
public:
    Camera() { status = BeginOcuDevice(OCU_FIRST_DEVICE, &handle); }
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;
    ~Camera() {
        if (handle) {
            EndOcuDevice(handle);
        }
    }
    OCUSTATUS status;
    OCUHANDLE handle = nullptr;
};

// The camera's resolution table, every mode it reports (none, and a failure, when it cannot be read).
inline std::vector<ResolutionEntry> Modes(OCUHANDLE handle) {
    uint32_t bytes = 0;
    if (OcuGetDeviceInfo(handle, OCU_INFO_RESOLUTIONS, nullptr, &bytes) != OCU_OK) {
        ADD_FAILURE() << "the resolution table's size cannot be read";
        return {};
    }
    std::vector<ResolutionEntry> modes(bytes / sizeof(ResolutionEntry));
    EXPECT_EQ(bytes, modes.size() * sizeof(ResolutionEntry));
    if (OcuGetDeviceInfo(handle, OCU_INFO_RESOLUTIONS, modes.data(), &bytes) != OCU_OK) {
        ADD_FAILURE() << "the resolution table cannot be read";
        return {};
    }
    return modes;
}

// The id the driver reports for an open camera (empty, and a failure, when it cannot be read).
inline std::string CameraIdOf(OCUHANDLE handle) {
    char id[160] = {};
    uint32_t size = sizeof id;
    if (OcuGetDeviceInfo(handle, OCU_INFO_CAMERA_ID, id, &size) != OCU_OK || size == 0 ||
        id[size - 1] != '\0') {
        ADD_FAILURE() << "the camera's id cannot be read";
        return {};
    }
    return id;
}

// A frame buffer, by default for the largest mode of the standard sensor, with a snapshot helper.
struct Frame {
    explicit Frame(size_t bytes = 1280 * 1024) : pixels(bytes, 0) {}
    std::vector<uint8_t> pixels;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* data() { return pixels.data(); }
    uint8_t at(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    std::vector<uint8_t> Bytes() const {
        return {pixels.begin(), pixels.begin() + static_cast<long>(width) * height};
    }
};

inline OCUSTATUS Snap(OCUHANDLE h, Frame& frame, int32_t width, int32_t height) {
    uint8_t* const buffers[] = {frame.data()};
    frame.width = width;
    frame.height = height;
    return OcuSnapShot(h, buffers, 1);
}

// Mean of the samples at Bayer position (row parity, column parity) over a rectangle of the frame.
inline double SiteMean(const Frame& f, int row, int col, int32_t x0 = 0, int32_t y0 = 0, int32_t x1 = -1,
                       int32_t y1 = -1) {
    if (x1 < 0) {
        x1 = f.width;
    }
    if (y1 < 0) {
        y1 = f.height;
    }
    double sum = 0;
    long n = 0;
    for (int32_t y = y0; y < y1; ++y) {
        for (int32_t x = x0; x < x1; ++x) {
            if ((y & 1) == row && (x & 1) == col) {
                sum += f.at(x, y);
                ++n;
            }
        }
    }
    return n ? sum / static_cast<double>(n) : 0.0;
}

inline double Mean(const Frame& f) {
    double sum = 0;
    for (long i = 0; i < static_cast<long>(f.width) * f.height; ++i) {
        sum += f.pixels[static_cast<size_t>(i)];
    }
    const long n = static_cast<long>(f.width) * f.height;
    return n > 0 ? sum / static_cast<double>(n) : 0.0;
}

} // namespace ocusnap::test
