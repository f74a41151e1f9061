#include "Channel.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>

namespace ocusnap::detail::aravis {

namespace {

using namespace std::chrono_literals;

// How long a wait lasts before the stream is looked at again, should a wake-up go astray.
constexpr auto kPoll = 100ms;

} // namespace

void ReleaseLinkRef(gpointer data, GClosure*) {
    delete static_cast<std::shared_ptr<Link>*>(data);
}

gpointer NewLinkRef(const std::shared_ptr<Link>& link) {
    // GLib owns the copy and hands it to ReleaseLinkRef when the handler is gone, which may be after
    // the object that connected it: a signal emitted on another thread keeps its data alive.
    return new std::shared_ptr<Link>(link);
}

namespace {

void OnNewBuffer(ArvStream*, gpointer data) {
    Link& link = **static_cast<std::shared_ptr<Link>*>(data);
    std::lock_guard lock(link.mutex);
    ++link.arrivals;
    link.changed.notify_all();
}

// Every buffer taken from the stream goes back to it, on every path.
class Popped {
public:
    Popped(ArvBuffer* buffer, std::function<void(ArvBuffer*)> recycle)
        : m_buffer(buffer), m_recycle(std::move(recycle)) {}
    Popped(const Popped&) = delete;
    Popped& operator=(const Popped&) = delete;
    ~Popped() {
        if (m_buffer) {
            m_recycle(m_buffer);
        }
    }
    ArvBuffer* Get() const { return m_buffer; }
    // Takes the other's buffer and hands this one's to the other, which gives it back in its turn.
    void Swap(Popped& other) { std::swap(m_buffer, other.m_buffer); }

private:
    ArvBuffer* m_buffer;
    std::function<void(ArvBuffer*)> m_recycle;
};

} // namespace

void Link::MarkLost() {
    std::lock_guard lock(mutex);
    lost = true;
    changed.notify_all();
}

Channel::~Channel() {
    std::lock_guard consumer(m_consumer);
    ReleaseLocked();
}

void Channel::ReleaseLocked() {
    if (!m_stream) {
        return;
    }
    // No handler runs once emission is off: Aravis switches it under the lock it emits under.
    arv_stream_set_emit_signals(m_stream.get(), FALSE);
    g_signal_handler_disconnect(m_stream.get(), m_signal);
    m_payload = 0;
    bool lost = false;
    {
        std::lock_guard lock(m_link->mutex);
        lost = m_link->lost;
    }
    if (lost) {
        // A stream takes its leave of the camera with requests a lost camera never answers: aside, not
        // on the thread that lets it go, which may be a window's.
        std::thread([stream = std::move(m_stream)]() mutable { stream.reset(); }).detach();
        return;
    }
    // The stream's own thread ends with the stream, which frees the buffers it holds.
    m_stream.reset();
}

void Channel::Release() {
    std::lock_guard consumer(m_consumer);
    ReleaseLocked();
}

bool Channel::Prepare(ArvCamera* camera, size_t payload, GErrorHolder& error) {
    payload = std::max<size_t>(payload, 1);
    // A delivery thread waiting for frames holds the consumer's lock: it is woken, lets go, and waits
    // until the new stream is there (the camera sends nothing meanwhile, so it would wait for ever).
    struct Replacing {
        Link& link;
        explicit Replacing(Link& l) : link(l) {
            std::lock_guard lock(link.mutex);
            ++link.replacing;
            link.changed.notify_all();
        }
        ~Replacing() {
            std::lock_guard lock(link.mutex);
            --link.replacing;
            link.changed.notify_all();
        }
    } replacing(*m_link);
    std::lock_guard consumer(m_consumer);
    if (m_stream && payload == m_payload) {
        return true;
    }
    // The old stream goes first: a USB3 Vision stream switches the camera's streaming off as it ends.
    ReleaseLocked();
    GObjectPtr<ArvStream> stream(arv_camera_create_stream(camera, nullptr, nullptr, error.Out()));
    if (!stream || error) {
        return false;
    }
    m_signal = g_signal_connect_data(stream.get(), "new-buffer", G_CALLBACK(OnNewBuffer), NewLinkRef(m_link),
                                     ReleaseLinkRef, GConnectFlags{});
    arv_stream_set_emit_signals(stream.get(), TRUE);
    for (int i = 0; i < m_count; ++i) {
        arv_stream_push_buffer(stream.get(), arv_buffer_new_allocate(payload));
    }
    m_stream = std::move(stream);
    m_payload = payload;
    ++m_made;
    return true;
}

void Channel::Flush() {
    if (!m_stream) {
        return;
    }
    while (ArvBuffer* buffer = arv_stream_try_pop_buffer(m_stream.get())) {
        arv_stream_push_buffer(m_stream.get(), buffer);
    }
}

namespace {

// When the host had the whole frame, on the steady clock: Aravis stamps buffers with the wall clock.
std::optional<Clock::time_point> ReadAt(ArvBuffer* buffer) {
    const guint64 ns = arv_buffer_get_system_timestamp(buffer);
    const gint64 nowUs = g_get_real_time();
    const auto now = Clock::now();
    if (ns == 0 || ns / 1000 > static_cast<guint64>(nowUs)) {
        return std::nullopt;
    }
    return now - std::chrono::microseconds(nowUs - static_cast<gint64>(ns / 1000));
}

bool Fits(ArvBuffer* buffer, const FrameLayout& layout, const uint8_t*& data) {
    size_t size = 0;
    data = static_cast<const uint8_t*>(arv_buffer_get_data(buffer, &size));
    return arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS &&
           arv_buffer_get_payload_type(buffer) == ARV_BUFFER_PAYLOAD_TYPE_IMAGE &&
           arv_buffer_get_image_width(buffer) == layout.regionWidth &&
           arv_buffer_get_image_height(buffer) == layout.regionHeight &&
           arv_buffer_get_image_pixel_format(buffer) == layout.pixelFormat && data != nullptr &&
           size >= RequiredBufferBytes(layout.samples);
}

} // namespace

Channel::Result Channel::NextFrame(uint8_t* destination, Delivered& delivered,
                                   std::optional<Clock::time_point> deadline, bool interruptible,
                                   bool reportIncomplete) {
    for (;;) {
        uint64_t seen = 0;
        FrameLayout layout;
        {
            std::lock_guard lock(m_link->mutex);
            if (m_link->lost) {
                return Result::Lost;
            }
            if (interruptible && m_link->interrupted) {
                m_link->interrupted = false;
                return Result::Interrupted;
            }
            if (interruptible && m_link->replacing > 0) {
                return Result::Interrupted;
            }
            seen = m_link->arrivals;
            layout = m_link->layout;
        }
        if (m_stream) {
            // Everything the stream has completed: the newest frame that fits is shown, older ones go
            // back at once, and so does a buffer of another region or format (read out before the last
            // change) or one that came incomplete.
            auto recycle = [this](ArvBuffer* b) { arv_stream_push_buffer(m_stream.get(), b); };
            Popped newest(nullptr, recycle);
            const uint8_t* newestData = nullptr;
            bool incomplete = false;
            while (ArvBuffer* buffer = arv_stream_try_pop_buffer(m_stream.get())) {
                Popped popped(buffer, recycle);
                const uint8_t* data = nullptr;
                incomplete = incomplete || arv_buffer_get_status(buffer) != ARV_BUFFER_STATUS_SUCCESS;
                if (Fits(buffer, layout, data)) {
                    if (newest.Get() != nullptr) {
                        ++m_dropped;
                    }
                    newest.Swap(popped);
                    newestData = data;
                }
            }
            if (ArvBuffer* buffer = newest.Get()) {
                CopyFrame(newestData, layout.samples, layout.adcLevel, layout.cameraShifts, destination);
                delivered.width = layout.samples.width;
                delivered.height = layout.samples.height;
                delivered.readAt = ReadAt(buffer);
                return Result::Frame;
            }
            if (incomplete && reportIncomplete) {
                return Result::Incomplete;
            }
        }
        // Also when buffers keep coming that do not fit: a single frame must not wait for ever.
        if (deadline && Clock::now() >= *deadline) {
            return Result::TimedOut;
        }
        std::unique_lock lock(m_link->mutex);
        Clock::time_point until = Clock::now() + kPoll;
        if (deadline && *deadline < until) {
            until = *deadline;
        }
        m_link->changed.wait_until(lock, until, [&] {
            return m_link->lost || (interruptible && (m_link->interrupted || m_link->replacing > 0)) ||
                   m_link->arrivals != seen;
        });
    }
}

void Channel::WaitForInterruption() {
    std::unique_lock lock(m_link->mutex);
    m_link->changed.wait(lock, [&] { return m_link->interrupted; });
    m_link->interrupted = false;
}

StreamFrame ChannelStream::Next(uint8_t* scratch, bool restarted, uint64_t) {
    StreamFrame frame;
    Channel::Result result = Channel::Result::Interrupted;
    {
        // Not while the stream is being replaced: this thread would take the consumer's lock first.
        std::unique_lock lock(m_link->mutex);
        m_link->changed.wait(lock,
                             [&] { return m_link->replacing == 0 || m_link->interrupted || m_link->lost; });
    }
    {
        std::lock_guard consumer(m_channel->ConsumerMutex());
        if (restarted) {
            m_channel->Flush();
        }
        Channel::Delivered delivered;
        result = m_channel->NextFrame(scratch, delivered, std::nullopt, true);
        frame.width = delivered.width;
        frame.height = delivered.height;
        frame.readyAt = delivered.readAt;
    }
    if (result == Channel::Result::Lost) {
        m_channel->WaitForInterruption(); // delivery has ended; stop or close lets the thread go
    }
    frame.none = result != Channel::Result::Frame;
    return frame;
}

void ChannelStream::Interrupt() {
    std::lock_guard lock(m_link->mutex);
    m_link->interrupted = true;
    m_link->changed.notify_all();
}

} // namespace ocusnap::detail::aravis
