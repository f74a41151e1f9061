#include "app/DisplayStart.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace ocu {
namespace {

std::mutex s_mutex;
DisplayStartGuard* s_guard = nullptr;

// The X platform is Qt's default on this system; a list ("wayland;xcb") or options ("xcb:foo") name the
// plugins tried first.
bool IsXcb(const QString& platform) {
    return platform.isEmpty() ||
           platform.section(QLatin1Char(';'), 0, 0).section(QLatin1Char(':'), 0, 0) == QLatin1String("xcb");
}

} // namespace

QString DisplayFailureText(const QString& platform, const QString& display, const QStringList& qtMessages) {
    // The X plugin says so when it could not reach the server; without DISPLAY there is none to reach.
    const bool unreachable = std::any_of(qtMessages.begin(), qtMessages.end(), [](const QString& m) {
        return m.contains(QLatin1String("could not connect to display"));
    });
    if (unreachable || (display.isEmpty() && IsXcb(platform))) {
        if (display.isEmpty())
            return QStringLiteral("cannot connect to the display: DISPLAY is not set");
        return QStringLiteral("cannot connect to the display \"%1\"").arg(display);
    }
    return QStringLiteral("cannot connect to the display: Qt's platform plugin \"%1\" did not start")
        .arg(platform.isEmpty() ? QStringLiteral("xcb") : platform);
}

DisplayStartGuard::DisplayStartGuard(QString platform, QString display)
    : m_platform(std::move(platform)), m_display(std::move(display)) {
    const std::lock_guard lock(s_mutex);
    s_guard = this;
    m_previous = qInstallMessageHandler(&DisplayStartGuard::Handle);
}

DisplayStartGuard::~DisplayStartGuard() {
    std::vector<Held> held;
    {
        const std::lock_guard lock(s_mutex);
        qInstallMessageHandler(m_previous);
        s_guard = nullptr;
        held.swap(m_held);
    }
    for (const Held& h : held) {
        const QMessageLogContext context(h.file, h.line, h.function, h.category);
        m_previous(h.type, context, h.message);
    }
}

void DisplayStartGuard::Handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const std::lock_guard lock(s_mutex);
    if (s_guard == nullptr)
        return;
    if (type != QtFatalMsg) {
        s_guard->m_held.push_back(
            {type, context.file, context.line, context.function, context.category, message});
        return;
    }
    QStringList said;
    for (const Held& h : s_guard->m_held)
        said << h.message;
    said << message;
    const QString line = DisplayFailureText(s_guard->m_platform, s_guard->m_display, said);
    std::fprintf(stderr, "ocuviewer: %s\n", qPrintable(line));
    std::fflush(stderr);
    // Nothing has been opened yet (no lock, no camera, no window); the application object is half built.
    std::_Exit(1);
}

} // namespace ocu
