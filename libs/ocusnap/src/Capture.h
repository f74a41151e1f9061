// One open capture: a delivery thread that writes frames into the caller's buffer and runs the
// SnapCallback, with start, stop and close that never wait for a running callback.
#pragma once

#include "OcuSnap.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace ocusnap::detail {

using Clock = std::chrono::steady_clock;

struct StreamFrame {
    int32_t width = 0; // the frame occupies width * height bytes
    int32_t height = 0;
    // When the frame has been read out: delivery waits until then. None: deliver at once.
    std::optional<Clock::time_point> readyAt;
    // Where the stream keeps the frame, if it keeps its own frames; they stay valid until its next
    // Next(). Null: the frame is in the scratch buffer.
    const uint8_t* pixels = nullptr;
    // No frame came (the wait was interrupted, or the camera sent nothing usable): nothing is delivered
    // and the delivery thread asks again if the capture is still started.
    bool none = false;
};

// The frame producer behind a capture: only its delivery thread calls it.
class FrameStream {
public:
    virtual ~FrameStream() = default;
    // Produces the next frame into `scratch` (room for the largest frame). `restarted` is true for the
    // first frame after a start or a restart, when free-running timing begins anew. `request` is the
    // token given to Capture::RequestFrame for streams that deliver on demand.
    virtual StreamFrame Next(uint8_t* scratch, bool restarted, uint64_t request) = 0;
    // Whether frames come only when requested through Capture::RequestFrame.
    virtual bool OnDemand() const { return false; }
    // Whether frames go through the capture's scratch buffer (otherwise none is allocated).
    virtual bool UsesScratch() const { return true; }
    // The delivery thread is leaving for good: threads of the stream's own end here.
    virtual void Finish() {}
    // Wakes a Next() that is waiting for the camera, or makes the next one return at once with no
    // frame: start, stop, restart and close call it under the capture's lock, so it must not block.
    virtual void Interrupt() {}
};

class Capture {
public:
    Capture(std::unique_ptr<FrameStream> stream, size_t scratchBytes, SnapCallback callback, void* context);
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    // The thread body; it holds its own reference to the capture, so the capture outlives it.
    static void Run(std::shared_ptr<Capture> self);

    // All of these only take the capture's short lock: they never wait for a callback.
    void Start(uint8_t* buffer);
    void Stop();
    // After this returns no callback starts and the buffer is not written again.
    void Close();
    // Drops a frame in flight and starts the timing anew (the geometry changed).
    void Restart();
    // Queues one frame for an on-demand stream; false when delivery is not started.
    bool RequestFrame(uint64_t token);

    bool Started() const;
    bool InCallback() const;
    int FramesDelivered() const;
    // Closed and not inside the callback: the thread ends without running caller code again, so
    // joining it cannot wait for the caller.
    bool SafeToJoin() const;

private:
    void Loop();
    // A new run: frames of the one before are dropped, and a wait for the next frame wakes. Under m_mutex.
    void BeginRunLocked();

    const std::unique_ptr<FrameStream> m_stream;
    std::vector<uint8_t> m_scratch; // written by the delivery thread only
    const SnapCallback m_callback;
    void* const m_context;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_started = false;
    bool m_closed = false;
    bool m_inCallback = false;
    uint64_t m_run = 0; // changes with every start, stop and restart: frames of an older run are dropped
    uint8_t* m_buffer = nullptr;
    uint32_t m_frameNumber = 0;
    int m_delivered = 0;
    std::deque<uint64_t> m_requests;
};

// A capture with the thread that delivers it. Closing hands the thread to the reaper instead of
// joining it, because the thread may be inside a callback that waits for the closing caller.
class CaptureHandle {
public:
    CaptureHandle() = default;
    static CaptureHandle Open(std::unique_ptr<FrameStream> stream, size_t scratchBytes, SnapCallback callback,
                              void* context);
    CaptureHandle(CaptureHandle&&) noexcept = default;
    CaptureHandle& operator=(CaptureHandle&& other) noexcept;
    ~CaptureHandle();

    explicit operator bool() const { return m_capture != nullptr; }
    Capture* operator->() const { return m_capture.get(); }
    const std::shared_ptr<Capture>& Get() const { return m_capture; }
    void Close();

private:
    std::shared_ptr<Capture> m_capture;
    std::thread m_thread;
};

} // namespace ocusnap::detail
