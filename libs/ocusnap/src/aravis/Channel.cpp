#include "Channel.h"

#include <chrono>
#include <functional>

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

std::shared_ptr<Channel> Channel::Open(ArvCamera* camera, std::shared_ptr<Link> link, size_t bytes, int count,
                                       GErrorHolder& error) {
    GObjectPtr<ArvStream> stream(arv_camera_create_stream(camera, nullptr, nullptr, error.Out()));
    if (!stream || error) {
        return nullptr;
    }
    return std::make_shared<Channel>(Key{}, std::move(link), std::move(stream), bytes, count);
}

Channel::Channel(Key, std::shared_ptr<Link> link, GObjectPtr<ArvStream> stream, size_t bytes, int count)
    : m_link(std::move(link)), m_stream(std::move(stream)), m_count(count), m_bytes(bytes) {
    m_signal = g_signal_connect_data(m_stream.get(), "new-buffer", G_CALLBACK(OnNewBuffer),
                                     NewLinkRef(m_link), ReleaseLinkRef, GConnectFlags{});
    arv_stream_set_emit_signals(m_stream.get(), TRUE);
    for (int i = 0; i < m_count; ++i) {
        arv_stream_push_buffer(m_stream.get(), arv_buffer_new_allocate(bytes));
    }
}

Channel::~Channel() {
    // No handler runs once emission is off: Aravis switches it under the lock it emits under.
    arv_stream_set_emit_signals(m_stream.get(), FALSE);
    g_signal_handler_disconnect(m_stream.get(), m_signal);
    // The stream's own thread ends with the stream, which frees the buffers it holds.
}

void Channel::EnsureBufferBytes(size_t bytes) {
    // Not under the consumer's lock: the delivery thread may hold it while it waits for a frame that
    // only the larger buffers can carry.
    std::lock_guard lock(m_grow);
    if (bytes <= m_bytes) {
        return;
    }
    m_bytes = bytes;
    for (int i = 0; i < m_count; ++i) {
        arv_stream_push_buffer(m_stream.get(), arv_buffer_new_allocate(bytes));
    }
}

void Channel::Recycle(ArvBuffer* buffer) {
    size_t size = 0;
    arv_buffer_get_data(buffer, &size);
    if (size >= m_bytes) {
        arv_stream_push_buffer(m_stream.get(), buffer); // the stream owns it again
    } else {
        g_object_unref(buffer); // a replacement went in when the size grew
    }
}

void Channel::Flush() {
    while (ArvBuffer* buffer = arv_stream_try_pop_buffer(m_stream.get())) {
        Recycle(buffer);
    }
}

Channel::Result Channel::NextFrame(uint8_t* destination, int32_t& width, int32_t& height,
                                   std::optional<Clock::time_point> deadline, bool interruptible) {
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
            seen = m_link->arrivals;
            layout = m_link->layout;
        }
        Popped popped(arv_stream_try_pop_buffer(m_stream.get()), [this](ArvBuffer* b) { Recycle(b); });
        if (ArvBuffer* buffer = popped.Get()) {
            // A buffer of another region or format was read out before the last change: stale.
            size_t size = 0;
            const auto* data = static_cast<const uint8_t*>(arv_buffer_get_data(buffer, &size));
            if (arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS &&
                arv_buffer_get_payload_type(buffer) == ARV_BUFFER_PAYLOAD_TYPE_IMAGE &&
                arv_buffer_get_image_width(buffer) == layout.regionWidth &&
                arv_buffer_get_image_height(buffer) == layout.regionHeight &&
                arv_buffer_get_image_pixel_format(buffer) == layout.pixelFormat && data != nullptr &&
                size >= RequiredBufferBytes(layout.samples)) {
                CopyFrame(data, layout.samples, layout.adcLevel, destination);
                width = layout.samples.width;
                height = layout.samples.height;
                return Result::Frame;
            }
            continue;
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
            return m_link->lost || (interruptible && m_link->interrupted) || m_link->arrivals != seen;
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
        std::lock_guard consumer(m_channel->ConsumerMutex());
        if (restarted) {
            m_channel->Flush();
        }
        result = m_channel->NextFrame(scratch, frame.width, frame.height, std::nullopt, true);
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
