#include "frame/SizeAnswerWatch.h"

#include <QCoreApplication>
#include <QWidget>
#include <cstdint>
#include <utility>
#include <xcb/xcb.h>

namespace ocu {

SizeAnswerWatch::SizeAnswerWatch(QWidget& window, std::function<void()> answered)
    : m_window(window), m_answered(std::move(answered)) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installNativeEventFilter(this);
}

SizeAnswerWatch::~SizeAnswerWatch() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}

bool SizeAnswerWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) {
    if (eventType != "xcb_generic_event_t")
        return false;
    // Only a notice that a client sent can leave the size as it was: the server's own follow a change of
    // the window, which Qt reports itself.
    constexpr uint8_t kSentEvent = 0x80;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & kSentEvent) == 0 ||
        (event->response_type & ~kSentEvent) != XCB_CONFIGURE_NOTIFY)
        return false;
    const auto* notice = static_cast<const xcb_configure_notify_event_t*>(message);
    if (m_window.internalWinId() == 0 || notice->window != m_window.internalWinId())
        return false;
    // Queued, so that Qt has taken the notice's geometry for the window first.
    QMetaObject::invokeMethod(&m_window, m_answered, Qt::QueuedConnection);
    return false;
}

} // namespace ocu
