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
    bool cameraShifts = false; // the camera applies the ADC level itself
};

// Shared by the camera, its channel and the signal handlers that Aravis calls on its own threads.
struct Link {
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t arrivals = 0; // buffers the stream has completed
    bool interrupted = false;
    int replacing = 0; // the stream is being replaced: the delivery thread keeps away from it
    bool lost = false;
    FrameLayout layout;

    void MarkLost();
};

// A reference to the link for a GLib signal handler's data, and its release (GClosureNotify).
gpointer NewLinkRef(const std::shared_ptr<Link>& link);
void ReleaseLinkRef(gpointer data, GClosure* closure);

// The camera's stream and the buffers it fills. A stream is made for one payload: USB3 Vision fixes the
// size it expects when the stream is made and drops every frame of another size, so a new payload gets a
// new stream (and new buffers of exactly that size) before acquisition starts.
class Channel {
public:
    Channel(std::shared_ptr<Link> link, int count) : m_link(std::move(link)), m_count(count) {}
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;
    ~Channel();

    // A stream made for `payload` bytes, made anew when the payload differs from the one the current
    // stream was made for; false with the reason when none could be made. Only while the camera does
    // not acquire: the frames of the stream let go are gone. A wait for frames on the delivery thread is
    // interrupted and resumes on the new stream.
    bool Prepare(ArvCamera* camera, size_t payload, GErrorHolder& error);
    // Lets go of the stream (the camera is closed).
    void Release();
    // Returns the buffers completed so far to the stream: they belong to an earlier acquisition.
    void Flush();

    enum class Result { Frame, Interrupted, Lost, TimedOut, Incomplete };
    struct Delivered {
        int32_t width = 0;
        int32_t height = 0;
        std::optional<Clock::time_point> readAt; // when the host had the whole frame
    };
    // Waits for a buffer that fits the link's layout and copies the newest such frame into
    // `destination`; older complete frames go back to the stream and count as dropped.
    // `interruptible`: an interruption ends the wait (the delivery thread); otherwise it is left for
    // the delivery thread to see (a single frame). `reportIncomplete`: a buffer that came incomplete (lost
    // packets) ends the wait too, so that a single frame can be asked for again.
    Result NextFrame(uint8_t* destination, Delivered& delivered, std::optional<Clock::time_point> deadline,
                     bool interruptible, bool reportIncomplete = false);
    // Blocks until interrupted (a camera that is gone delivers nothing more).
    void WaitForInterruption();

    // Held by whoever takes frames, so that a single frame and the delivery thread never share one,
    // and by Prepare, so that nobody takes frames from a stream being replaced.
    std::mutex& ConsumerMutex() { return m_consumer; }

    // Streams made since the camera was opened, and complete frames passed over for a newer one.
    uint64_t StreamsMade() const { return m_made; }
    uint64_t Dropped() const { return m_dropped; }

private:
    // Under the consumer's lock.
    void ReleaseLocked();

    const std::shared_ptr<Link> m_link;
    const int m_count;
    std::mutex m_consumer;
    GObjectPtr<ArvStream> m_stream; // under m_consumer
    size_t m_payload = 0;
    gulong m_signal = 0;
    std::atomic<uint64_t> m_made{0};
    std::atomic<uint64_t> m_dropped{0};
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
