#include "app/QuitSignals.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace ocu {

namespace {

constexpr std::array kSignals{SIGINT, SIGTERM, SIGHUP};

// The handler may only write a byte; the descriptor is set before the handler is installed.
volatile sig_atomic_t g_writeFd = -1;
std::array<struct sigaction, kSignals.size()> g_previous{};
std::array<bool, kSignals.size()> g_installed{};

void OnSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a request.
    (void)!::write(g_writeFd, &byte, 1);
    // From now on the default action: a second request ends the viewer at once.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (size_t i = 0; i < kSignals.size(); ++i) {
        if (g_installed[i])
            ::sigaction(kSignals[i], &standard, nullptr);
    }
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(std::function<void()> onRequest) : m_onRequest(std::move(onRequest)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_read.reset(fds[0]);
    m_write.reset(fds[1]);
    g_writeFd = m_write.get();
    m_notifier = std::make_unique<QSocketNotifier>(m_read.get(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
        char bytes[16];
        bool requested = false;
        while (::read(m_read.get(), bytes, sizeof bytes) > 0)
            requested = true;
        if (requested && m_onRequest)
            m_onRequest();
    });

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kSignals.size(); ++i) {
        if (::sigaction(kSignals[i], nullptr, &g_previous[i]) != 0 || g_previous[i].sa_handler == SIG_IGN)
            continue;
        g_installed[i] = ::sigaction(kSignals[i], &action, nullptr) == 0;
    }
}

QuitSignals::~QuitSignals() {
    for (size_t i = 0; i < kSignals.size(); ++i) {
        if (g_installed[i])
            ::sigaction(kSignals[i], &g_previous[i], nullptr);
        g_installed[i] = false;
    }
    g_writeFd = -1;
}

} // namespace ocu
