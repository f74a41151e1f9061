// The Histogram window in a viewer running in this process on a real X server with a window manager: it
// opens over the live picture, above the frame, and its readout follows the real cursor.
#include "LiveTestSupport.h"
#include "X11Session.h"
#include "display/HistogramWnd.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"

#include <QApplication>
#include <QLabel>
#include <QThread>
#include <cstdio>
#include <gtest/gtest.h>

using namespace ocu;
using namespace ocu::test;
using namespace ocu::x11test;

namespace {

X11Session* g_session = nullptr;

QString WindowId(const QWidget& window) {
    return QString::number(window.winId());
}

// The order of the managed windows from the bottom of the stack up, as the window manager keeps it.
QStringList Stacking() {
    const QString list = QString::fromLatin1(g_session->Run(
        QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")}));
    QStringList ids;
    for (const QString& hex :
         list.mid(list.indexOf(QLatin1Char('#')) + 1).split(QLatin1Char(','), Qt::SkipEmptyParts))
        ids << QString::number(hex.trimmed().toULongLong(nullptr, 16));
    return ids;
}

} // namespace

TEST(HistogramOnX11, OpensOverTheLivePictureAndItsReadoutFollowsTheCursor) {
    WriteSettingsFile("[Video Parameter]\nResolution=1\nBayerLayout=2\n");
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    COcuViewerView& view = *frame.GetActiveView();
    ASSERT_TRUE(
        WaitFor([&] { return frame.m_rcRegion.Width() == 640 && frame.m_rcRegion.Height() == 480; }, 30000));
    // Placed by the window manager, as a user finds it: its title bar on the screen and its place settled.
    ASSERT_TRUE(WaitFor([&] { return g_session->OuterPlacement(WindowId(frame)).y > 0; }, 30000))
        << "the window manager did not take the frame: "
        << g_session
               ->Run(QStringLiteral("xwininfo"),
                     {QStringLiteral("-tree"), QStringLiteral("-id"), WindowId(frame)})
               .toStdString();
    ASSERT_TRUE(WaitFor(
        [&] {
            const QPoint before = view.mapToGlobal(QPoint(0, 0));
            QThread::msleep(200);
            QApplication::processEvents();
            return view.mapToGlobal(QPoint(0, 0)) == before &&
                   g_session->ClientPlacement(WindowId(frame)).viewable;
        },
        30000));
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount >= 3; }, 30000));

    ASSERT_TRUE(frame.ExecuteCommand(kIdHistogram));
    const CHistogramWnd& wnd = *frame.HistogramWnd();
    const auto placement = [&] { return g_session->ClientPlacement(WindowId(wnd)); };
    ASSERT_TRUE(WaitFor([&] { return placement().viewable; }, 30000));
    // Over the picture, above the frame, and tied to it for the window manager.
    ASSERT_TRUE(WaitFor([&] { return Stacking().contains(WindowId(wnd)); }, 30000));
    const QStringList stack = Stacking();
    EXPECT_GT(stack.indexOf(WindowId(wnd)), stack.indexOf(WindowId(frame)));
    const Placement tool = placement();
    const QRect picture(view.mapToGlobal(QPoint(0, 0)), view.size());
    EXPECT_TRUE(picture.intersects(QRect(tool.x, tool.y, tool.width, tool.height)))
        << tool.x << "," << tool.y << " " << tool.width << " x " << tool.height;
    EXPECT_TRUE(g_session
                    ->Run(QStringLiteral("xprop"),
                          {QStringLiteral("-id"), WindowId(wnd), QStringLiteral("WM_TRANSIENT_FOR")})
                    .contains(QByteArray("0x") + QByteArray::number(frame.winId(), 16)));
    // The frame keeps its size and, with the next frame, its live title.
    EXPECT_TRUE(WaitFor([&] { return LiveTitleSize(frame.windowTitle()) == QSize(640, 480); }, 10000));

    // The real cursor over the picture, beside the tool window: the readout names the pixel under it.
    const QLabel& readout = *wnd.findChild<QLabel*>(QStringLiteral("readout"));
    for (const QPoint p : {QPoint(30, 40), QPoint(251, 401), QPoint(100, 300)}) {
        const QPoint at = view.mapToGlobal(p);
        ASSERT_FALSE(QRect(tool.x, tool.y, tool.width, tool.height).contains(at)) << p.x() << "," << p.y();
        g_session->Run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--sync"),
                                                   QString::number(at.x()), QString::number(at.y())});
        const QString expected = QStringLiteral("Pixel x %1, y %2 on the sensor: raw ").arg(p.x()).arg(p.y());
        EXPECT_TRUE(WaitFor([&] { return readout.text().startsWith(expected); }, 10000))
            << readout.text().toStdString() << " at " << p.x() << "," << p.y();
        EXPECT_TRUE(
            readout.text().contains(QString::fromLatin1(AidChannelName(BayerChannelAt(2, p.x(), p.y())))));
    }
    frame.ExecuteCommand(kIdContinuousSnap);
    frame.close();
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS(); // listing needs no X server
    X11Session session(WindowManager::Stacking);
    if (!session.Ready()) {
        std::fprintf(stderr, "histogram-x11-tests: no X server with a window manager could be started\n");
        return 1;
    }
    g_session = &session;
    const QProcessEnvironment& env = session.Environment();
    for (const char* name :
         {"DISPLAY", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "QT_QPA_PLATFORM"})
        setenv(name, env.value(QString::fromLatin1(name)).toLocal8Bit().constData(), 1);
    // The simulated camera at its own pace, with exact frames that stand still.
    setenv("OCUSNAP_CAMERA", "sim", 1);
    setenv("OCUSNAP_SIM_NOISE", "0", 1);
    setenv("OCUSNAP_SIM_FREEZE", "1", 1);
    QApplication app(argc, argv);
    FailOnUnexpectedMessageBoxes();
    return RUN_ALL_TESTS();
}
