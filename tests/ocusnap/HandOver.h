// A viewer's synchronous hand-over of frames to its UI thread, played by the test thread, for the
// threading contract's tests of every backend.
#pragma once

#include "OcuSnap.h"
#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <mutex>

namespace ocusnap::test {

using namespace std::chrono_literals;

// A stand-in for a UI thread's synchronous hand-over: the callback posts a job and blocks until the
// test thread, which plays the UI thread, has run it (or released it).
class HandOver {
public:
    // Delivery thread: post the job and wait until it has run.
    void Send(std::function<void()> job) {
        std::unique_lock lock(m_mutex);
        const uint64_t ticket = ++m_posted;
        m_job = std::move(job);
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_done >= ticket || m_released; });
    }
    // Test thread: wait for a posted job, run it, and let the sender go on.
    bool Pump(std::chrono::milliseconds timeout = 5000ms) {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, timeout, [&] { return m_posted > m_done; })) {
            return false;
        }
        auto job = std::move(m_job);
        lock.unlock();
        if (job) {
            job();
        }
        lock.lock();
        m_done = m_posted;
        m_changed.notify_all();
        return true;
    }
    // Test thread: wait until a job is pending without running it.
    bool WaitPending(std::chrono::milliseconds timeout = 5000ms) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_posted > m_done; });
    }
    // Lets every sender go, now and later (a UI that is going away).
    void Release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    uint64_t m_posted = 0;
    uint64_t m_done = 0;
    bool m_released = false;
    std::function<void()> m_job;
};

// The receiving side of a capture. It releases its hand-over when it goes, and waits for the delivery
// thread to leave the callback that still refers to it: a viewer's frame must outlive its callbacks.
struct Viewer {
    ~Viewer() {
        handOver.Release();
        DrainDeliveryThreads();
    }
    HandOver handOver;
    std::atomic<int> callbacks{0};
    std::atomic<int> callbacksAfterClose{0};
    std::atomic<bool> closed{false};
    std::function<void(SnapInfo&)> onFrame; // runs on the "UI thread"
};

inline int32_t SendToViewer(SnapInfo* info) {
    auto* viewer = static_cast<Viewer*>(info->pContext);
    if (viewer->closed) {
        ++viewer->callbacksAfterClose;
    }
    ++viewer->callbacks;
    SnapInfo copy = *info;
    viewer->handOver.Send([viewer, copy]() mutable {
        if (viewer->onFrame) {
            viewer->onFrame(copy);
        }
    });
    return 1;
}

// Runs `call` and fails the test if it does not return promptly (a deadlock would hang forever).
template <typename F>
inline auto ReturnsPromptly(F&& call) {
    auto future = std::async(std::launch::async, std::forward<F>(call));
    if (future.wait_for(10s) != std::future_status::ready) {
        ADD_FAILURE() << "the call did not return: deadlock";
        std::abort();
    }
    return future.get();
}

// Threads of this process now (to see that captures leave none behind).
inline size_t ThreadCount() {
    size_t n = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (const dirent* e = readdir(dir)) {
            n += e->d_name[0] != '.';
        }
        closedir(dir);
    }
    return n;
}

} // namespace ocusnap::test
