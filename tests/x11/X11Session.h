// A real X server for the few window tests that the offscreen platform cannot answer: whether a window is
// mapped, where a window manager puts it, and what happens when the display goes away.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace ocu::x11test {

// Where the window manager put a top-level window and how large it is, decoration included.
struct Placement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool viewable = false;
};

// The window manager of a session: none, a stacking one that honours a window's size hints (openbox), a
// tiling one that keeps every window at its tile and answers a request with the tile's size (i3), or one
// that keeps it there and answers nothing (SilentTiler.cpp, as sway).
enum class WindowManager { None, Stacking, Tiling, SilentTiling };

// A window's pixels as the X server holds them, 0xRRGGBB, row after row; empty when it could not be read.
struct WindowImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// An Xvfb server on a display of its own (1920 x 1200, -noreset, so that a client leaving never resets it
// under the next one), optionally with a window manager, and a viewer process on it with its own
// settings, runtime and cache folders.
class X11Session {
public:
    explicit X11Session(WindowManager windowManager);
    ~X11Session();
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    bool Ready() const { return !m_display.isEmpty(); }
    const std::filesystem::path& ConfigFolder() const { return m_config; }
    // The server's display name (":NNN").
    const QString& Display() const { return m_display; }

    // Starts the viewer with extra environment variables (NAME=value).
    bool StartViewer(const QStringList& environment = {});
    // Waits for the viewer to end; its exit code, or nullopt when it ended by a signal or did not end.
    std::optional<int> WaitForViewerExit(std::chrono::milliseconds timeout);
    bool ViewerRunning();
    // Sends the viewer process a signal, as a terminal or `kill` would.
    void SignalViewer(int signal);
    QByteArray ViewerOutput();

    // The first top-level window whose title matches the regular expression, waiting up to `timeout`.
    QString FindWindow(const QString& titlePattern, std::chrono::milliseconds timeout);
    QString WindowTitle(const QString& window);
    // The client window's own size (what the program sized) and the outer frame's placement.
    Placement ClientPlacement(const QString& window);
    Placement OuterPlacement(const QString& window);
    // What the window shows (xwd's dump of it).
    WindowImage GrabWindow(const QString& window);
    // Focuses the window and types the keys (xdotool key names, e.g. "ctrl+2", "alt+f").
    bool SendKeys(const QString& window, const QStringList& keys);

    // Ends the X server (and the window manager) under the running viewer.
    void KillServer();

    // The environment of a program on this display: DISPLAY, the session's own folders, the xcb platform.
    const QProcessEnvironment& Environment() const { return m_environment; }
    // Runs an X tool (xdotool, xprop, ...) on this display; its output, empty when it failed to finish.
    QByteArray Run(const QString& program, const QStringList& arguments);

private:
    static void Stop(QProcess* process);

    std::filesystem::path m_root;
    std::filesystem::path m_config;
    QString m_display;
    QProcessEnvironment m_environment;
    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_windowManager;
    std::unique_ptr<QProcess> m_viewer;
};

} // namespace ocu::x11test
