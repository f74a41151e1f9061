#include "Capture.h"

#include "ThreadReaper.h"

#include <cstring>

namespace ocusnap::detail {

namespace {

uint64_t MicrosecondsOf(Clock::time_point t) {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count());
}

} // namespace

Capture::Capture(std::unique_ptr<FrameStream> stream, size_t scratchBytes, SnapCallback callback,
                 void* context)
    : m_stream(std::move(stream)), m_scratch(m_stream->UsesScratch() ? scratchBytes : 0),
      m_callback(callback), m_context(context) {}

void Capture::Run(std::shared_ptr<Capture> self) {
    self->Loop();
}

void Capture::Loop() {
    std::unique_lock lock(m_mutex);
    uint64_t lastRun = ~uint64_t{0};
    for (;;) {
        const bool onDemand = m_stream->OnDemand();
        m_wake.wait(lock, [&] { return m_closed || (m_started && (!onDemand || !m_requests.empty())); });
        if (m_closed) {
            break;
        }
        uint64_t request = 0;
        if (onDemand) {
            request = m_requests.front();
            m_requests.pop_front();
        }
        const uint64_t run = m_run;
        const bool restarted = run != lastRun;
        lastRun = run;

        // Rendering is the slow part and touches nothing the callers share, so it runs unlocked.
        lock.unlock();
        const StreamFrame frame = m_stream->Next(m_scratch.data(), restarted, request);
        lock.lock();

        if (frame.readyAt) {
            m_wake.wait_until(lock, *frame.readyAt, [&] { return m_closed || m_run != run; });
        }
        if (m_closed) {
            break;
        }
        if (m_run != run || frame.none) {
            continue; // stopped, restarted or given another buffer meanwhile: this frame is stale
        }
        const size_t bytes = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height);
        if (bytes > 0) {
            std::memcpy(m_buffer, frame.pixels ? frame.pixels : m_scratch.data(), bytes);
        }
        SnapInfo info{};
        info.nSize = sizeof info;
        info.nFrameNumber = ++m_frameNumber;
        info.nWidth = frame.width;
        info.nHeight = frame.height;
        info.pContext = m_context;
        info.nTimestampUs = MicrosecondsOf(frame.readyAt.value_or(Clock::now()));
        m_inCallback = true;

        lock.unlock();
        m_callback(&info);
        lock.lock();

        m_inCallback = false;
        ++m_delivered;
    }
    lock.unlock();
    m_stream->Finish();
}

void Capture::Start(uint8_t* buffer) {
    std::lock_guard lock(m_mutex);
    if (m_closed) {
        return;
    }
    m_buffer = buffer;
    m_started = true;
    BeginRunLocked();
}

void Capture::Stop() {
    std::lock_guard lock(m_mutex);
    if (m_started) {
        m_started = false;
        m_requests.clear();
        BeginRunLocked();
    }
}

void Capture::Close() {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_started = false;
    m_buffer = nullptr;
    m_requests.clear();
    BeginRunLocked();
}

void Capture::BeginRunLocked() {
    ++m_run;
    m_stream->Interrupt();
    m_wake.notify_all();
}

void Capture::Restart() {
    std::lock_guard lock(m_mutex);
    BeginRunLocked();
}

bool Capture::RequestFrame(uint64_t token) {
    std::lock_guard lock(m_mutex);
    if (!m_started || m_closed) {
        return false;
    }
    m_requests.push_back(token);
    m_wake.notify_all();
    return true;
}

bool Capture::Started() const {
    std::lock_guard lock(m_mutex);
    return m_started;
}

bool Capture::InCallback() const {
    std::lock_guard lock(m_mutex);
    return m_inCallback;
}

int Capture::FramesDelivered() const {
    std::lock_guard lock(m_mutex);
    return m_delivered;
}

bool Capture::SafeToJoin() const {
    std::lock_guard lock(m_mutex);
    return m_closed && !m_inCallback;
}

CaptureHandle CaptureHandle::Open(std::unique_ptr<FrameStream> stream, size_t scratchBytes,
                                  SnapCallback callback, void* context) {
    CaptureHandle handle;
    handle.m_capture = std::make_shared<Capture>(std::move(stream), scratchBytes, callback, context);
    handle.m_thread = std::thread(&Capture::Run, handle.m_capture);
    return handle;
}

CaptureHandle& CaptureHandle::operator=(CaptureHandle&& other) noexcept {
    if (this != &other) {
        Close();
        m_capture = std::move(other.m_capture);
        m_thread = std::move(other.m_thread);
    }
    return *this;
}

CaptureHandle::~CaptureHandle() {
    Close();
}

void CaptureHandle::Close() {
    if (!m_capture) {
        return;
    }
    m_capture->Close();
    ThreadReaper::Instance().Adopt(std::move(m_thread), std::move(m_capture));
    m_capture.reset();
}

} // namespace ocusnap::detail
