// Requests from outside to end the viewer: Ctrl+C in the terminal that started it (SIGINT), `kill` or a
// service manager (SIGTERM), the terminal closing (SIGHUP). Ended by their default action, the viewer
// would lose a recording's last frames and the settings of the session; they are taken to the event loop
// instead, so that the viewer ends as File > Exit ends it. A second request ends it at once, for when
// that way hangs.
#pragma once

#include "common/FileHandles.h"

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace ocu {

class QuitSignals {
public:
    // onRequest runs on the thread that owns the event loop, once per request. A signal that the viewer
    // was started with ignored (nohup, a background job of a script) stays ignored.
    explicit QuitSignals(std::function<void()> onRequest);
    // Puts back the actions the signals had before.
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    UniqueFd m_read;
    UniqueFd m_write;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_onRequest;
};

} // namespace ocu
