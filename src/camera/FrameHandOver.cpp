#include "camera/FrameHandOver.h"

#include "OcuRecord.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <new>

namespace ocu {

FrameReadyEvent::FrameReadyEvent(const SnapInfo& info, QSemaphore* handled)
    : QEvent(EventType()), m_handled(handled), m_capture(info.pContext), m_width(info.nWidth),
      m_height(info.nHeight), m_cameraTimeUs(info.nTimestampUs),
      m_hostTimeUs(ocurecord::MonotonicMicroseconds()) {}

FrameReadyEvent::~FrameReadyEvent() {
    m_handled->release();
}

QEvent::Type FrameReadyEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

FrameHandOver& FrameHandOver::Instance() {
    // Constructed in place and never destroyed (see the class comment).
    alignas(FrameHandOver) static unsigned char storage[sizeof(FrameHandOver)];
    static FrameHandOver* const instance = new (storage) FrameHandOver;
    return *instance;
}

void* FrameHandOver::Connect(QObject* receiver) {
    const std::lock_guard lock(m_mutex);
    m_receiver = receiver;
    // Tokens are never reused, and never null.
    m_capture = ++m_lastCapture;
    return reinterpret_cast<void*>(m_capture);
}

void FrameHandOver::Disconnect(const QObject* receiver) {
    const std::lock_guard lock(m_mutex);
    if (m_receiver == receiver) {
        m_receiver = nullptr;
        m_capture = 0;
    }
}

void FrameHandOver::Deliver(const SnapInfo& info) {
    QSemaphore handled;
    {
        // Posted under the lock, so that the receiver cannot be destroyed between the check and the post;
        // once posted, its destruction deletes the event.
        const std::lock_guard lock(m_mutex);
        if (m_receiver == nullptr || reinterpret_cast<uintptr_t>(info.pContext) != m_capture)
            return;
        QCoreApplication::postEvent(m_receiver, new FrameReadyEvent(info, &handled));
    }
    handled.acquire();
}

} // namespace ocu
