// The viewer on a real X server: mapping, placement, the start-up size, real keys, signals to end it and a
// display that goes away.
#include "X11Session.h"

#include <QCoreApplication>
#include <QRect>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <ostream>
#include <string>

using namespace ocu::x11test;
using namespace std::chrono_literals;

namespace {

constexpr auto kWindowTimeout = 30s;

// Keys typed before a window is ready for them are lost, more so on a loaded machine: they are typed
// again, a few seconds apart, until what they do has happened.
bool TypeUntil(X11Session& x, const QString& window, const QStringList& keys,
               const std::function<bool()>& done) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        x.SendKeys(window, keys);
        for (int wait = 0; wait < 30; ++wait) {
            if (done())
                return true;
            QThread::msleep(100);
        }
    }
    return done();
}

bool Eventually(const std::function<bool()>& done) {
    for (int wait = 0; wait < 300; ++wait) {
        if (done())
            return true;
        QThread::msleep(100);
    }
    return done();
}

// Without a camera the driver's box comes first; OK dismisses it.
void DismissErrorBox(X11Session& x) {
    const QString box = x.FindWindow(QStringLiteral("^Error message$"), kWindowTimeout);
    ASSERT_FALSE(box.isEmpty());
    ASSERT_TRUE(TypeUntil(x, box, {QStringLiteral("Return")},
                          [&] { return x.FindWindow(QStringLiteral("^Error message$"), 0ms).isEmpty(); }));
}

std::filesystem::path HomeFolder(const X11Session& x) {
    return x.ConfigFolder().parent_path() / "home";
}

// Starts the viewer with a home folder of its own, without a videos folder, so that the Record dialog offers
// the home folder; its frame window, empty when it did not come.
QString StartViewerAtHome(X11Session& x) {
    std::filesystem::create_directories(HomeFolder(x));
    if (!x.StartViewer({QStringLiteral("HOME=") + QString::fromStdString(HomeFolder(x).string())}))
        return {};
    return x.FindWindow(QStringLiteral("^VelC Viewer"), kWindowTimeout);
}

// The rows of a recording's log in the folder (its header left out), -1 without a log.
int LogRows(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".csv") {
            std::ifstream in(entry.path());
            return static_cast<int>(std::count(std::istreambuf_iterator<char>(in), {}, '\n')) - 1;
        }
    }
    return -1;
}

int RawFiles(const std::filesystem::path& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        count += entry.path().extension() == ".raw" ? 1 : 0;
    return count;
}

} // namespace

void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

// A window of no width is never mapped by X; the frame must stay a usable window without a camera, and
// its File > Exit must end the process normally (and so release the single-instance lock).
TEST(X11, WithoutACameraTheFrameShowsItsTitleAndMenuAndExitsOnFileExit) {
    for (const char* noCamera : {"OCUSNAP_CAMERA=none", "OCUSNAP_FAIL=begin"}) {
        SCOPED_TRACE(noCamera);
        X11Session x(WindowManager::Stacking);
        ASSERT_TRUE(x.Ready());
        ASSERT_TRUE(x.StartViewer({QString::fromLatin1(noCamera)}));
        DismissErrorBox(x);
        const QString frame = x.FindWindow(QStringLiteral("^OcuDevice Viewer \\[0 x 0\\]$"), kWindowTimeout);
        ASSERT_FALSE(frame.isEmpty());
        EXPECT_TRUE(Eventually([&] { return x.ClientPlacement(frame).viewable; }));
        const Placement client = x.ClientPlacement(frame);
        EXPECT_GT(client.width, 100); // the menu bar's width, not the image's 0
        EXPECT_GT(client.height, 0);

        ASSERT_TRUE(TypeUntil(x, frame, {QStringLiteral("alt+f"), QStringLiteral("x")},
                              [&] { return !x.ViewerRunning(); }));
        EXPECT_EQ(x.WaitForViewerExit(kWindowTimeout), 0);
        EXPECT_TRUE(std::filesystem::exists(x.ConfigFolder() / "OcuViewer.ini"));
    }
}

// The window manager places the frame; the start-up size rule only sizes it, and with the borders known,
// so the region is the whole mode image.
TEST(X11, StartUpPlacesTheTitleBarOnTheScreenAndGivesTheWholeModeImage) {
    struct Case {
        int mode;
        const char* title;
        int width;
        int height;
    };
    for (const Case c :
         {Case{1, "VelC Viewer [640 x 480]", 640, 480}, Case{2, "VelC Viewer [320 x 240]", 320, 240}}) {
        SCOPED_TRACE(c.mode);
        X11Session x(WindowManager::Stacking);
        ASSERT_TRUE(x.Ready());
        std::filesystem::create_directories(x.ConfigFolder());
        {
            std::FILE* ini = std::fopen((x.ConfigFolder() / "OcuViewer.ini").c_str(), "w");
            ASSERT_NE(ini, nullptr);
            std::fprintf(ini, "[Video Parameter]\nResolution=%d\n", c.mode);
            std::fclose(ini);
        }
        ASSERT_TRUE(x.StartViewer());
        const QString frame = x.FindWindow(QStringLiteral("^VelC Viewer"), kWindowTimeout);
        ASSERT_FALSE(frame.isEmpty());
        // The size rule runs once the frame is shown and its borders measured.
        EXPECT_TRUE(Eventually([&] { return x.WindowTitle(frame) == QString::fromLatin1(c.title); }))
            << x.WindowTitle(frame).toStdString();
        EXPECT_TRUE(Eventually([&] { return x.OuterPlacement(frame).y > 0; }));

        EXPECT_TRUE(Eventually([&] { return x.ClientPlacement(frame).viewable; }));
        const Placement client = x.ClientPlacement(frame);
        const Placement outer = x.OuterPlacement(frame);
        EXPECT_EQ(client.width, c.width);
        EXPECT_GT(client.height, c.height); // the image and the menu bar
        // The decoration, title bar included, lies on the 1920 x 1200 screen.
        EXPECT_GE(outer.x, 0);
        EXPECT_GE(outer.y, 0);
        EXPECT_LE(outer.x + outer.width, 1920);
        EXPECT_LE(outer.y + outer.height, 1200);
        EXPECT_LT(outer.y, client.y); // a title bar above the client
    }
}

// Qt ends the process with exit() when the X connection breaks; nothing may crash on the way out, and, as
// at a log-off, no settings are written.
TEST(X11, LosingTheDisplayDuringLiveViewEndsTheViewerWithoutASignal) {
    X11Session x(WindowManager::None);
    ASSERT_TRUE(x.Ready());
    ASSERT_TRUE(x.StartViewer({QStringLiteral("OCUSNAP_SIM_FPS=max")}));
    const QString frame = x.FindWindow(QStringLiteral("^VelC Viewer"), kWindowTimeout);
    ASSERT_FALSE(frame.isEmpty());
    ASSERT_TRUE(TypeUntil(x, frame, {QStringLiteral("ctrl+2")},
                          [&] { return !x.FindWindow(QStringLiteral("\\(fps\\)$"), 0ms).isEmpty(); }));

    x.KillServer();
    const std::optional<int> exitCode = x.WaitForViewerExit(kWindowTimeout);
    ASSERT_TRUE(exitCode.has_value()) << "ended by a signal: " << x.ViewerOutput().toStdString();
    EXPECT_NE(*exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(x.ConfigFolder() / "OcuViewer.ini"));
}

// Real key presses on the Camera Features dialog's gain bar: Right raises the gain, as the bar is drawn
// (the offscreen tests send the same key events; here X and the window manager deliver them). OK keeps it,
// and the settings written at exit hold it.
TEST(X11, RightOnTheGainBarRaisesTheGainThatOkKeeps) {
    X11Session x(WindowManager::Stacking);
    ASSERT_TRUE(x.Ready());
    ASSERT_TRUE(x.StartViewer());
    const QString frame = x.FindWindow(QStringLiteral("^VelC Viewer"), kWindowTimeout);
    ASSERT_FALSE(frame.isEmpty());
    ASSERT_TRUE(TypeUntil(x, frame, {QStringLiteral("alt+o"), QStringLiteral("c")},
                          [&] { return !x.FindWindow(QStringLiteral("^Camera Features$"), 0ms).isEmpty(); }));
    const QString dialog = x.FindWindow(QStringLiteral("^Camera Features$"), kWindowTimeout);
    // The focus starts on the ADC list; the gain bar is two tabs on. Enter presses OK.
    ASSERT_TRUE(
        x.SendKeys(dialog, {QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Right"),
                            QStringLiteral("Right"), QStringLiteral("Right"), QStringLiteral("Return")}));
    ASSERT_TRUE(Eventually([&] { return x.FindWindow(QStringLiteral("^Camera Features$"), 0ms).isEmpty(); }));
    ASSERT_TRUE(TypeUntil(x, frame, {QStringLiteral("alt+f"), QStringLiteral("x")},
                          [&] { return !x.ViewerRunning(); }));
    EXPECT_EQ(x.WaitForViewerExit(kWindowTimeout), 0);
    std::ifstream ini(x.ConfigFolder() / "OcuViewer.ini");
    const std::string settings((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    for (const char* key : {"GainRCh=11", "GainRChG=11", "GainBChG=11", "GainBCh=11"})
        EXPECT_NE(settings.find(key), std::string::npos) << key << " in\n" << settings;
}

// Qt aborts when its platform cannot start, after lines of advice about reinstalling; the viewer says in one
// line which display it could not reach and exits with status 1, as its manual page says.
TEST(X11, WithoutADisplayTheViewerSaysSoInOneLineAndExitsWithStatusOne) {
    X11Session x(WindowManager::None);
    ASSERT_TRUE(x.Ready());
    const QString gone = x.Display();
    x.KillServer();
    for (const auto& [variable, line] :
         {std::pair{QStringLiteral("DISPLAY="),
                    QStringLiteral("ocuviewer: cannot connect to the display: DISPLAY is not set\n")},
          {QStringLiteral("DISPLAY=") + gone,
           QStringLiteral("ocuviewer: cannot connect to the display \"%1\"\n").arg(gone)}}) {
        SCOPED_TRACE(variable.toStdString());
        ASSERT_TRUE(x.StartViewer({variable}));
        EXPECT_EQ(x.WaitForViewerExit(kWindowTimeout), 1);
        EXPECT_EQ(QString::fromLocal8Bit(x.ViewerOutput()), line);
    }
}

// View > Record... with real keys: the status window is a window of its own beside the running picture,
// which goes on taking keys (Ctrl+2 stops the live picture, and the recording with it) and keeps its title.
TEST(X11, RecordingShowsItsStatusWindowBesideTheLivePictureWhichKeepsTakingKeys) {
    X11Session x(WindowManager::Stacking);
    ASSERT_TRUE(x.Ready());
    const std::filesystem::path home = HomeFolder(x);
    const QString frame = StartViewerAtHome(x);
    ASSERT_FALSE(frame.isEmpty());
    ASSERT_TRUE(TypeUntil(x, frame, {QStringLiteral("alt+v"), QStringLiteral("r")},
                          [&] { return !x.FindWindow(QStringLiteral("^Record$"), 0ms).isEmpty(); }));
    const QString dialog = x.FindWindow(QStringLiteral("^Record$"), 0ms);
    ASSERT_TRUE(TypeUntil(x, dialog, {QStringLiteral("Return")},
                          [&] { return !x.FindWindow(QStringLiteral("^Recording$"), 0ms).isEmpty(); }));
    const QString status = x.FindWindow(QStringLiteral("^Recording$"), 0ms);
    EXPECT_TRUE(Eventually([&] { return x.ClientPlacement(status).viewable; }));
    EXPECT_TRUE(Eventually([&] { return x.WindowTitle(frame).endsWith(QStringLiteral("(fps)")); }))
        << x.WindowTitle(frame).toStdString();
    EXPECT_TRUE(Eventually([&] { return LogRows(home) >= 3; }));

    // The keys go to the frame while the status window is up.
    ASSERT_TRUE(TypeUntil(x, frame, {QStringLiteral("ctrl+2")},
                          [&] { return !x.WindowTitle(frame).endsWith(QStringLiteral("(fps)")); }));
    EXPECT_TRUE(x.ClientPlacement(status).viewable) << "the window stays, showing the end";
    // Once the recording has ended (within a tick of its window), each row of the log has its file.
    EXPECT_TRUE(Eventually([&] { return RawFiles(home) == LogRows(home); }))
        << RawFiles(home) << " files, " << LogRows(home) << " rows";
    ASSERT_TRUE(TypeUntil(x, frame, {QStringLiteral("alt+f"), QStringLiteral("x")},
                          [&] { return !x.ViewerRunning(); }));
    EXPECT_EQ(x.WaitForViewerExit(kWindowTimeout), 0);
}

// Ctrl+C in the terminal that started the viewer, `kill`, or the terminal closing end the viewer as File >
// Exit does, whatever it is doing: a modal dialog is cancelled, a recording's files are complete, the
// settings are written (there were none before) and the exit status is 0.
TEST(X11, ASignalToEndTheViewerEndsItAsFileExitDoes) {
    struct Case {
        int signal;
        const char* name;
        QStringList keys; // what runs when the signal comes
        const char* window;
    };
    const Case cases[] = {
        {SIGTERM, "SIGTERM, the live picture", {QStringLiteral("ctrl+2")}, "\\(fps\\)$"},
        {SIGINT,
         "SIGINT, Camera Features",
         {QStringLiteral("alt+o"), QStringLiteral("c")},
         "^Camera Features$"},
        {SIGHUP, "SIGHUP, a recording", {QStringLiteral("alt+v"), QStringLiteral("r")}, "^Record$"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        X11Session x(WindowManager::Stacking);
        ASSERT_TRUE(x.Ready());
        const std::filesystem::path home = HomeFolder(x);
        const QString frame = StartViewerAtHome(x);
        ASSERT_FALSE(frame.isEmpty());
        const QString pattern = QString::fromLatin1(c.window);
        ASSERT_TRUE(TypeUntil(x, frame, c.keys, [&] { return !x.FindWindow(pattern, 0ms).isEmpty(); }));
        if (c.signal == SIGHUP) {
            ASSERT_TRUE(TypeUntil(x, x.FindWindow(pattern, 0ms), {QStringLiteral("Return")},
                                  [&] { return LogRows(home) >= 3; }));
        }

        x.SignalViewer(c.signal);
        EXPECT_EQ(x.WaitForViewerExit(kWindowTimeout), 0) << x.ViewerOutput().toStdString();
        EXPECT_TRUE(std::filesystem::exists(x.ConfigFolder() / "OcuViewer.ini"));
        if (c.signal == SIGHUP) {
            EXPECT_EQ(RawFiles(home), LogRows(home));
        }
    }
}

// A tiling window manager keeps the frame at its tile whatever size the frame asks for, and says so in an
// answer that Qt passes over when the tile has not changed, or not at all. The frame must paint the whole
// window all the same: at start-up the part beyond the image, and after a smaller resolution the part the
// larger picture had, which otherwise keeps showing it, still, beside the live one.
TEST(X11, UnderATilingWindowManagerTheWholeTileShowsTheFrameAroundThePicture) {
    for (const WindowManager manager : {WindowManager::Tiling, WindowManager::SilentTiling}) {
        SCOPED_TRACE(manager == WindowManager::Tiling ? "i3" : "silent");
        X11Session x(manager);
        ASSERT_TRUE(x.Ready());
        ASSERT_TRUE(x.StartViewer({QStringLiteral("OCUSNAP_SIM_NOISE=0")}));
        const QString frame = x.FindWindow(QStringLiteral("^VelC Viewer"), kWindowTimeout);
        ASSERT_FALSE(frame.isEmpty());
        ASSERT_TRUE(TypeUntil(x, frame, {QStringLiteral("ctrl+2")}, [&] {
            return x.WindowTitle(frame).startsWith(QStringLiteral("VelC Viewer [1280 x 1024]  "));
        })) << x.WindowTitle(frame).toStdString();
        // Every sampled point of the area shows the frame's background, the colour of the tile's far corner,
        // which lies beyond the image of every resolution.
        const auto onlyBackground = [&](const QRect& area) {
            const WindowImage image = x.GrabWindow(frame);
            if (image.width < 1600 || image.height < 1100)
                return false;
            const uint32_t background = image.At(image.width - 4, image.height - 4);
            for (int py = area.top(); py <= area.bottom(); py += 37) {
                for (int px = area.left(); px <= area.right(); px += 41) {
                    if (image.At(px, py) != background)
                        return false;
                }
            }
            return background != 0;
        };
        EXPECT_TRUE(Eventually([&] { return onlyBackground(QRect(1300, 40, 600, 1040)); }));

        // Options > Resolution > Mode_2.
        ASSERT_TRUE(TypeUntil(
            x, frame,
            {QStringLiteral("alt+o"), QStringLiteral("Right"), QStringLiteral("Down"), QStringLiteral("Down"),
             QStringLiteral("Return")},
            [&] { return x.WindowTitle(frame).startsWith(QStringLiteral("VelC Viewer [320 x 240]  ")); }))
            << x.WindowTitle(frame).toStdString();
        EXPECT_TRUE(Eventually([&] { return onlyBackground(QRect(400, 300, 880, 740)); }));
        ASSERT_TRUE(TypeUntil(x, frame, {QStringLiteral("alt+f"), QStringLiteral("x")},
                              [&] { return !x.ViewerRunning(); }));
        EXPECT_EQ(x.WaitForViewerExit(kWindowTimeout), 0);
    }
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
