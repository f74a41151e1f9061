#include "X11Session.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/stat.h>

namespace ocu::x11test {
namespace {

using namespace std::chrono_literals;

constexpr int kToolTimeoutMs = 10000;

std::filesystem::path MakeTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ocuviewer-x11-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    return pattern;
}

QString PathText(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

int Field(const QByteArray& text, const char* name) {
    const QRegularExpression field(
        QStringLiteral("%1\\s*(-?\\d+)").arg(QRegularExpression::escape(QString::fromLatin1(name))));
    const auto match = field.match(QString::fromLocal8Bit(text));
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

Placement ParsePlacement(const QByteArray& info) {
    Placement p;
    p.x = Field(info, "Absolute upper-left X:");
    p.y = Field(info, "Absolute upper-left Y:");
    p.width = Field(info, "Width:");
    p.height = Field(info, "Height:");
    p.viewable = info.contains("Map State: IsViewable");
    return p;
}

} // namespace

X11Session::X11Session(WindowManager windowManager) : m_root(MakeTempFolder()), m_config(m_root / "config") {
    std::filesystem::create_directories(m_config);
    std::filesystem::create_directories(m_root / "run");
    chmod((m_root / "run").c_str(), 0700);

    // A display number of its own, drawn at random, rather than the lowest free one: other test runs on the
    // machine start and stop servers at the same time, and a number just freed must not bring their
    // windows into this session. -displayfd tells when the server accepts clients.
    QByteArray number;
    std::random_device seed;
    for (int attempt = 0; attempt < 8 && !number.contains('\n'); ++attempt) {
        const int display = 200 + static_cast<int>(seed() % 800);
        m_server = std::make_unique<QProcess>();
        m_server->start(QStringLiteral("Xvfb"),
                        {QStringLiteral(":%1").arg(display), QStringLiteral("-displayfd"),
                         QStringLiteral("1"), QStringLiteral("-noreset"), QStringLiteral("-nolisten"),
                         QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                         QStringLiteral("1920x1200x24")});
        number.clear();
        while (!number.contains('\n') && m_server->waitForReadyRead(kToolTimeoutMs))
            number += m_server->readAllStandardOutput();
    }
    if (!number.contains('\n'))
        return;

    m_environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : m_environment.keys()) {
        if (name.startsWith(QLatin1String("OCUSNAP_")) || name.startsWith(QLatin1String("QT_")))
            m_environment.remove(name);
    }
    m_environment.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + QString::fromLatin1(number.trimmed()));
    m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), PathText(m_config));
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), PathText(m_root / "run"));
    m_environment.insert(QStringLiteral("XDG_CACHE_HOME"), PathText(m_root / "cache"));
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    if (windowManager != WindowManager::None) {
        m_windowManager = std::make_unique<QProcess>();
        m_windowManager->setProcessEnvironment(m_environment);
        if (windowManager == WindowManager::Stacking) {
            m_windowManager->start(QStringLiteral("openbox"), {});
        } else if (windowManager == WindowManager::SilentTiling) {
            m_windowManager->start(QStringLiteral(OCU_SILENT_TILER), {});
        } else {
            // A configuration of its own, not the system's, which binds keys the tests type.
            const std::filesystem::path config = m_root / "i3.conf";
            std::FILE* file = std::fopen(config.c_str(), "w");
            if (file == nullptr)
                return;
            std::fputs("font pango:monospace 8\n", file);
            std::fclose(file);
            m_windowManager->start(QStringLiteral("i3"), {QStringLiteral("-c"), PathText(config)});
        }
        // The window manager is in charge once it has listed the windows it manages on the root window:
        // it announces itself earlier, while it is still starting, and a window mapped then may stay
        // unmanaged.
        QElapsedTimer timer;
        timer.start();
        while (!Run(QStringLiteral("xprop"),
                    {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")})
                    .contains("(WINDOW)") &&
               timer.elapsed() < kToolTimeoutMs)
            QThread::msleep(50);
        if (timer.elapsed() >= kToolTimeoutMs)
            return;
    }
    m_display = m_environment.value(QStringLiteral("DISPLAY"));
}

X11Session::~X11Session() {
    for (auto* process : {m_viewer.get(), m_windowManager.get(), m_server.get()})
        Stop(process);
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

bool X11Session::StartViewer(const QStringList& environment) {
    QProcessEnvironment env = m_environment;
    env.insert(QStringLiteral("OCUSNAP_CAMERA"), QStringLiteral("sim"));
    for (const QString& variable : environment) {
        const qsizetype equals = variable.indexOf(QLatin1Char('='));
        env.insert(variable.left(equals), variable.mid(equals + 1));
    }
    m_viewer = std::make_unique<QProcess>();
    m_viewer->setProcessEnvironment(env);
    m_viewer->setProcessChannelMode(QProcess::MergedChannels);
    m_viewer->start(QStringLiteral(OCU_VIEWER_PROGRAM), {});
    return m_viewer->waitForStarted(kToolTimeoutMs);
}

std::optional<int> X11Session::WaitForViewerExit(std::chrono::milliseconds timeout) {
    if (!m_viewer)
        return std::nullopt;
    // waitForFinished() says false for a process that has ended already.
    if (m_viewer->state() != QProcess::NotRunning &&
        !m_viewer->waitForFinished(static_cast<int>(timeout.count())))
        return std::nullopt;
    if (m_viewer->exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return m_viewer->exitCode();
}

bool X11Session::ViewerRunning() {
    // Without an event loop QProcess learns of the end only while waiting for it.
    return m_viewer && m_viewer->state() != QProcess::NotRunning && !m_viewer->waitForFinished(0);
}

void X11Session::SignalViewer(int signal) {
    if (m_viewer && m_viewer->state() == QProcess::Running)
        ::kill(static_cast<pid_t>(m_viewer->processId()), signal);
}

QByteArray X11Session::ViewerOutput() {
    return m_viewer ? m_viewer->readAll() : QByteArray();
}

QByteArray X11Session::Run(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.setProcessEnvironment(m_environment);
    tool.start(program, arguments);
    if (!tool.waitForFinished(kToolTimeoutMs)) {
        tool.kill();
        tool.waitForFinished();
        return {};
    }
    return tool.readAllStandardOutput();
}

QString X11Session::FindWindow(const QString& titlePattern, std::chrono::milliseconds timeout) {
    QElapsedTimer timer;
    timer.start();
    do {
        const QByteArray ids = Run(QStringLiteral("xdotool"),
                                   {QStringLiteral("search"), QStringLiteral("--name"), titlePattern});
        if (!ids.trimmed().isEmpty())
            return QString::fromLatin1(ids.split('\n').front().trimmed());
        QThread::msleep(50);
    } while (timer.elapsed() < timeout.count());
    return {};
}

QString X11Session::WindowTitle(const QString& window) {
    return QString::fromUtf8(
        Run(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), window}).trimmed());
}

Placement X11Session::ClientPlacement(const QString& window) {
    return ParsePlacement(Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window}));
}

Placement X11Session::OuterPlacement(const QString& window) {
    // The window manager reparents a managed window into its frame; the outermost window below the root
    // is what the user sees.
    static const QRegularExpression parentLine(
        QStringLiteral("Parent window id: (0x[0-9a-f]+)( \\(the root window\\))?"));
    QString current = window;
    for (int depth = 0; depth < 8; ++depth) {
        const auto match = parentLine.match(QString::fromLatin1(
            Run(QStringLiteral("xwininfo"), {QStringLiteral("-tree"), QStringLiteral("-id"), current})));
        if (!match.hasMatch() || !match.captured(2).isEmpty())
            break;
        current = match.captured(1);
    }
    return ParsePlacement(Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), current}));
}

WindowImage X11Session::GrabWindow(const QString& window) {
    const QByteArray dump =
        Run(QStringLiteral("xwd"), {QStringLiteral("-silent"), QStringLiteral("-id"), window});
    const auto* bytes = reinterpret_cast<const unsigned char*>(dump.constData());
    const auto size = static_cast<size_t>(dump.size());
    // The dump's header: big-endian 32-bit fields, then the window's name, the colour table (12 bytes an
    // entry) and the pixels.
    constexpr size_t kHeaderFields = 25;
    if (size < 4 * kHeaderFields)
        return {};
    const auto field = [bytes](size_t i) {
        const unsigned char* p = bytes + 4 * i;
        return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
    };
    const size_t headerSize = field(0), width = field(4), height = field(5), bitsPerPixel = field(11),
                 bytesPerLine = field(12), colours = field(19);
    const bool mostSignificantFirst = field(7) == 1;
    const size_t start = headerSize + 12 * colours;
    if (bitsPerPixel != 32 || bytesPerLine < 4 * width || start > size ||
        (size - start) / bytesPerLine < height)
        return {};
    WindowImage image{static_cast<int>(width), static_cast<int>(height), {}};
    image.pixels.reserve(width * height);
    for (size_t y = 0; y < height; ++y) {
        for (size_t x = 0; x < width; ++x) {
            const unsigned char* p = bytes + start + y * bytesPerLine + 4 * x;
            const uint32_t pixel =
                mostSignificantFirst
                    ? uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]
                    : uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
            image.pixels.push_back(pixel & 0xFFFFFF);
        }
    }
    return image;
}

bool X11Session::SendKeys(const QString& window, const QStringList& keys) {
    Run(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    QStringList arguments{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("100")};
    arguments += keys;
    QProcess tool;
    tool.setProcessEnvironment(m_environment);
    tool.start(QStringLiteral("xdotool"), arguments);
    return tool.waitForFinished(kToolTimeoutMs) && tool.exitCode() == 0;
}

void X11Session::KillServer() {
    Stop(m_windowManager.get());
    Stop(m_server.get());
}

void X11Session::Stop(QProcess* process) {
    // Asked to end, so that the server removes its lock file and socket: a killed one leaves them for the
    // next server that takes its number to clear away.
    if (process == nullptr || process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(kToolTimeoutMs)) {
        process->kill();
        process->waitForFinished(kToolTimeoutMs);
    }
}

} // namespace ocu::x11test
