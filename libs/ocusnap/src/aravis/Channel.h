// The frames of one camera: its Aravis stream with the buffers it fills, and the wake-ups of the thread
// that waits for them (a new buffer, an interruption by start, stop or close, a camera that is gone).
#pragma once

#include "../Capture.h"
#include "GObjectPtr.h"
#include "Mapping.h"

#include <arv.h>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

namespace ocusnap::detail::aravis {

// What a buffer of the camera must look like, and the frame cut out of it.
struct FrameLayout {
    int32_t regionWidth = 0; // the region the camera reads out
    int32_t regionHeight = 0;
    ArvPixelFormat pixelFormat = 0;
    SampleLayout samples;
    int32_t adcLevel = 1;
};

// Shared by the camera, its channel and the signal handlers that Aravis calls on its own threads.
struct Link {
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t arrivals = 0; // buffers the stream has completed
    bool interrupted = false;
    bool lost = false;
    FrameLayout layout;

    void MarkLost();
};

// A reference to the link for a GLib signal handler's data, and its release (GClosureNotify).
gpointer NewLinkRef(const std::shared_ptr<Link>& link);
void ReleaseLinkRef(gpointer data, GClosure* closure);

class Channel {
    // Only Open makes a channel; the key lets it do so through make_shared.
    struct Key {
        explicit Key() = default;
    };

public:
    Channel(Key, std::shared_ptr<Link> link, GObjectPtr<ArvStream> stream, size_t bytes, int count);
    // Opens the camera's stream with `count` buffers of `bytes`; null with the reason on failure.
    static std::shared_ptr<Channel> Open(ArvCamera* camera, std::shared_ptr<Link> link, size_t bytes,
                                         int count, GErrorHolder& error);
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;
    ~Channel();

    // Buffers of at least `bytes` from now on; smaller ones are dropped as they come back.
    void EnsureBufferBytes(size_t bytes);
    // Returns the buffers completed so far to the stream: they belong to an earlier acquisition.
    void Flush();

    enum class Result { Frame, Interrupted, Lost, TimedOut };
    // Waits for a buffer that fits the link's layout and copies its frame into `destination`.
    // `interruptible`: an interruption ends the wait (the delivery thread); otherwise it is left for
    // the delivery thread to see (a single frame).
    Result NextFrame(uint8_t* destination, int32_t& width, int32_t& height,
                     std::optional<Clock::time_point> deadline, bool interruptible);
    // Blocks until interrupted (a camera that is gone delivers nothing more).
    void WaitForInterruption();

    // Held by whoever takes frames, so that a single frame and the delivery thread never share one.
    std::mutex& ConsumerMutex() { return m_consumer; }

private:
    // Hands a buffer back to the stream, or replaces it when it is too small.
    void Recycle(ArvBuffer* buffer);

    const std::shared_ptr<Link> m_link;
    GObjectPtr<ArvStream> m_stream;
    const int m_count;
    std::atomic<size_t> m_bytes; // buffers smaller than this are replaced
    std::mutex m_grow;
    gulong m_signal = 0;
    std::mutex m_consumer;
};

// The frames of a capture, for the library's delivery thread.
class ChannelStream final : public FrameStream {
public:
    ChannelStream(std::shared_ptr<Channel> channel, std::shared_ptr<Link> link)
        : m_channel(std::move(channel)), m_link(std::move(link)) {}
    StreamFrame Next(uint8_t* scratch, bool restarted, uint64_t request) override;
    void Interrupt() override;

private:
    std::shared_ptr<Channel> m_channel;
    std::shared_ptr<Link> m_link;
};

} // namespace ocusnap::detail::aravis
