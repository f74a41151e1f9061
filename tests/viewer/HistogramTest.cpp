// The Histogram tool window over the viewer on the simulated camera: its live figures, the pixel readout,
// the focus rectangle, and clipping marks that stay on the screen.
#include "LiveTestSupport.h"
#include "PixConv.h"
#include "common/FileDialog.h"
#include "display/HistogramWnd.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

using namespace ocu;
using namespace ocu::test;

namespace {

class HistogramWindow : public SimViewerTest {};

constexpr const char* kLayouts[] = {"GBRG", "GRBG", "BGGR", "RGGB"};

QString Text(const CMainFrame& frame, const char* label) {
    return frame.HistogramWnd()->findChild<QLabel*>(QString::fromLatin1(label))->text();
}

// The viewer in mode 2 (320 x 240) holding one still frame of the exact simulated camera, with the Histogram
// window open.
struct StillViewer {
    explicit StillViewer(int layout = 2, const std::string& settings = "") {
        WriteSettingsFile("[Video Parameter]\nResolution=2\nBayerLayout=" + std::to_string(layout) + "\n" +
                          settings);
        viewer = std::make_unique<RunningViewer>();
        CMainFrame& frame = viewer->Frame();
        ResizeClient(frame, 320, 240);
        EXPECT_TRUE(frame.ExecuteCommand(kIdSingleSnap));
        EXPECT_TRUE(frame.ExecuteCommand(kIdHistogram));
    }
    CMainFrame& Frame() { return viewer->Frame(); }
    QWidget* View() { return Frame().GetActiveView(); }
    int Raw(int x, int y) { return Frame().m_pRawBuffer[static_cast<size_t>(y) * 320 + x]; }
    std::unique_ptr<RunningViewer> viewer;
};

} // namespace

// The window opens over the running picture as a tool window of the frame, whose size and title stay as
// they were, shows the live frame's figures, follows the exposure, and once closed measures nothing.
TEST_F(HistogramWindow, OpensOverTheLivePictureShowsItsFiguresAndLeavesTheFrameAlone) {
    const ExactSimCamera camera;
    WriteSettingsFile("[Video Parameter]\nResolution=1\nBayerLayout=2\nADCLevel=1\n");
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ASSERT_TRUE(StartLive(frame, 640, 480, 3));
    const QSize frameSize = frame.size();

    ASSERT_TRUE(frame.ExecuteCommand(kIdHistogram));
    CHistogramWnd* wnd = frame.HistogramWnd();
    ASSERT_NE(wnd, nullptr);
    EXPECT_TRUE(frame.QueryCommand(kIdHistogram).checked);
    EXPECT_TRUE(wnd->isVisible());
    EXPECT_EQ(wnd->windowType(), Qt::Tool);
    EXPECT_EQ(wnd->parentWidget(), &frame);
    EXPECT_EQ(wnd->windowTitle(), "Histogram");
    ASSERT_TRUE(WaitFor([&] { return frame.GetImageAids()->HasRaw(); }));
    const int shownAt = frame.m_nFrameCount;
    ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount >= shownAt + 3; }));
    EXPECT_EQ(frame.size(), frameSize);
    EXPECT_EQ(LiveTitleSize(frame.windowTitle()), QSize(640, 480));

    // Every frame of the exact camera is alike: the figures are those of the frame left in the raw buffer.
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    double sum = 0, n = 0, full = 0;
    for (int y = 0; y < 480; y += 2)
        for (int x = 0; x < 640; x += 2) { // GRBG: the greens of the red rows
            const int v = frame.m_pRawBuffer[static_cast<size_t>(y) * 640 + x];
            sum += v, n += 1, full += v == 255;
        }
    EXPECT_EQ(Text(frame, "Gr Mean"), QString::number(sum / n, 'f', 1));
    EXPECT_EQ(Text(frame, "Gr At 255"), QString::asprintf("%.3f %%", 100 * full / n));

    // Exposure up, as the Camera Features dialog sends it: more of the chart clips.
    const double clipped = frame.GetImageAids()->Figures()[kAidGr].at255;
    ASSERT_EQ(OcuADCControl(frame.m_hDevice, 0, 3), OCU_OK);
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    EXPECT_TRUE(WaitFor([&] { return frame.GetImageAids()->Figures()[kAidGr].at255 > clipped + 0.02; }));

    // Closed from the menu: unchecked, hidden, and the frames go on without measurements.
    ASSERT_TRUE(frame.ExecuteCommand(kIdHistogram));
    EXPECT_FALSE(frame.QueryCommand(kIdHistogram).checked);
    EXPECT_FALSE(wnd->isVisible());
    EXPECT_EQ(frame.GetImageAids(), nullptr);
    EXPECT_FALSE(frame.GetActiveView()->hasMouseTracking());
    const int closedAt = frame.m_nFrameCount;
    EXPECT_TRUE(WaitFor([&] { return frame.m_nFrameCount >= closedAt + 3; }));
    frame.ExecuteCommand(kIdContinuousSnap);
    frame.close();
}

// Under the mouse: the sensor position, the raw value with its Bayer colour in the layout in force, and
// the displayed colour; an opened BMP file has no raw value to show.
TEST_F(HistogramWindow, TheReadoutShowsThePixelUnderTheMouseInEveryLayout) {
    for (int layout = 1; layout <= 4; ++layout) {
        SCOPED_TRACE(kLayouts[layout - 1]);
        const ExactSimCamera camera(kLayouts[layout - 1]);
        StillViewer still(layout);
        for (const QPoint p : {QPoint(5, 7), QPoint(200, 120), QPoint(319, 239), QPoint(0, 0)}) {
            Mouse(still.View(), QEvent::MouseMove, p);
            const char* cell = kLayouts[layout - 1] + (p.y() & 1) * 2;
            const char colour = cell[p.x() & 1];
            const char* name = colour == 'R'                  ? "R"
                               : colour == 'B'                ? "B"
                               : cell[1 - (p.x() & 1)] == 'R' ? "Gr"
                                                              : "Gb";
            const Bgr shown = DisplayPixel(still.Frame(), p.x(), p.y());
            EXPECT_EQ(
                Text(still.Frame(), "readout"),
                QStringLiteral("Pixel x %1, y %2 on the sensor: raw %3 (%4)\nDisplayed R %5, G %6, B %7")
                    .arg(p.x())
                    .arg(p.y())
                    .arg(still.Raw(p.x(), p.y()))
                    .arg(QString::fromLatin1(name))
                    .arg(shown.r)
                    .arg(shown.g)
                    .arg(shown.b));
        }
        Mouse(still.View(), QEvent::MouseMove, QPoint(321, 10)); // beside the image
        EXPECT_TRUE(Text(still.Frame(), "readout").startsWith("Pixel: move the mouse"));
        still.Frame().close();
    }
}

// A rectangle dragged over the picture is measured instead of the whole image, until a click or the
// Whole Image button gives the whole image back.
TEST_F(HistogramWindow, ADraggedRectangleIsMeasuredUntilTheWholeImageComesBack) {
    const ExactSimCamera camera;
    StillViewer still;
    CMainFrame& frame = still.Frame();
    const auto sharpnessOf = [&](const Rect& r) {
        double s = 0;
        GetSharpness(frame.m_pRawBuffer.get(), 320, 240, r.left, r.top, r.Width(), r.Height(), 2, &s);
        return QString::number(s, 'f', 1);
    };
    Drag(still.View(), {140, 110}, {40, 30});
    EXPECT_EQ(frame.GetImageAids()->FocusRect(), (Rect{40, 30, 141, 111}));
    EXPECT_TRUE(Text(frame, "sharpness").startsWith("Sharpness " + sharpnessOf({40, 30, 141, 111}) + ","));
    EXPECT_TRUE(Text(frame, "sharpness").endsWith("of 101 x 81 at 40, 30"));

    Drag(still.View(), {60, 60}, {61, 62}); // a click
    EXPECT_EQ(frame.GetImageAids()->FocusRect(), Rect{});
    EXPECT_TRUE(Text(frame, "sharpness").startsWith("Sharpness " + sharpnessOf({0, 0, 320, 240}) + ","));
    EXPECT_TRUE(Text(frame, "sharpness").endsWith("of the whole image"));

    Drag(still.View(), {10, 10}, {100, 100});
    frame.HistogramWnd()->findChild<QPushButton*>(QStringLiteral("wholeImage"))->click();
    EXPECT_EQ(frame.GetImageAids()->FocusRect(), Rect{});
    EXPECT_TRUE(Text(frame, "sharpness").endsWith("of the whole image"));
    frame.close();
}

namespace {

// A PDF without the moment it was made: two prints of the same page then compare equal.
QByteArray PrintedPage(COcuViewerView& view, const std::string& path) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path));
    printer.setResolution(300);
    view.PrintImage(printer);
    QString pdf = QString::fromLatin1(QByteArray::fromStdString(ReadText(path)));
    pdf.remove(QRegularExpression(QStringLiteral(R"(/CreationDate \([^)]*\))")));
    return pdf.toLatin1();
}

} // namespace

// The marks and the focus rectangle are painted over the picture on the screen, never into the display
// buffer, from which Save As writes and recordings take their frames, nor onto a printed page.
TEST_F(HistogramWindow, ClippingMarksAndTheFocusRectangleNeverReachSaveAsPrintOrTheDisplayBuffer) {
    const ExactSimCamera camera;
    StillViewer still(2, "ADCLevel=3\n"); // the chart's whites clip; its black bar is 0
    CMainFrame& frame = still.Frame();
    COcuViewerView& view = *frame.GetActiveView();
    const std::vector<uint8_t> display = DisplayBytes(frame);
    const QByteArray plainPage = PrintedPage(view, lutFolder.File("plain.pdf"));

    frame.HistogramWnd()->findChild<QCheckBox*>(QStringLiteral("marks"))->setChecked(true);
    Drag(&view, {20, 20}, {100, 80});
    ASSERT_EQ(frame.GetImageAids()->FocusRect(), (Rect{20, 20, 101, 81}));

    // On the screen: red over every raw 255, blue over every 0, the picture elsewhere.
    const QImage screen = view.grab().toImage();
    int marked[2] = {0, 0};
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const bool nearEdge = std::abs(x - 20) <= 1 || std::abs(x - 100) <= 1 || std::abs(y - 20) <= 1 ||
                                  std::abs(y - 80) <= 1;
            if (nearEdge && x >= 19 && x <= 101 && y >= 19 && y <= 81)
                continue; // the rectangle's outline
            const int raw = still.Raw(x, y);
            const Bgr shown = DisplayPixel(frame, x, y);
            const QRgb expected = raw == 255 ? kClippedHigh
                                  : raw == 0 ? kClippedLow
                                             : qRgb(shown.r, shown.g, shown.b);
            ASSERT_EQ(screen.pixel(x, y) | 0xFF000000u, expected) << x << "," << y << " raw " << raw;
            marked[0] += raw == 0, marked[1] += raw == 255;
        }
    ASSERT_GT(marked[0], 100);
    ASSERT_GT(marked[1], 100);

    // Off the screen nothing of it: the display buffer (what a recording of the picture takes), a saved BMP,
    // a printed page.
    EXPECT_EQ(DisplayBytes(frame), display);
    const std::string bmp = lutFolder.File("saved.bmp");
    const FileDialogHandler previous =
        SetFileDialogHandler([&](const FileDialogRequest&) { return QString::fromStdString(bmp); });
    EXPECT_TRUE(frame.ExecuteCommand(kIdFileSaveAs));
    SetFileDialogHandler(previous);
    const std::string file = ReadText(bmp);
    ASSERT_GT(file.size(), 54u);
    uint32_t offset = 0;
    std::memcpy(&offset, file.data() + 10, 4);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + offset, file.end()), display);
    EXPECT_EQ(PrintedPage(view, lutFolder.File("marked.pdf")), plainPage);
    frame.close();
}
