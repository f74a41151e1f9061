// The view: repainting the last image, and printing and previewing it.
#include "LiveTestSupport.h"
#include "OcuSnapTesting.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"

#include <QApplication>
#include <QByteArray>
#include <QImage>
#include <QPrinter>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>

using namespace ocu;
using namespace ocu::test;
using Calls = std::vector<std::string>;

namespace {

// Where a PDF page puts its one image, in the printer's device pixels.
struct PrintedImage {
    int pages = 0;
    int images = 0;
    QRectF rect;
};

// Reads what Qt's PDF writer puts down: the page count, and the image placed by its matrix (in device
// pixels, before the page's own scaling to points).
PrintedImage ReadPdf(const std::string& path) {
    const QByteArray pdf = QByteArray::fromStdString(ReadText(path));
    PrintedImage printed;
    static const QRegularExpression count(
        QStringLiteral(R"(/Type /Pages\s*/Kids\s*\[[^\]]*\]\s*/Count (\d+))"));
    if (const auto m = count.match(QString::fromLatin1(pdf)); m.hasMatch())
        printed.pages = m.captured(1).toInt();
    printed.images = static_cast<int>(pdf.count("/Subtype /Image"));
    static const QRegularExpression draw(QStringLiteral(
        R"(([-\d.]+) 0 0 ([-\d.]+) ([-\d.]+) ([-\d.]+) cm\s+(\d+) 0 0 -(\d+) 0 \d+ cm /Im\d+\s+Do)"));
    qsizetype from = 0;
    for (;;) {
        const qsizetype stream = pdf.indexOf("stream\n", from);
        if (stream < 0)
            break;
        const qsizetype end = pdf.indexOf("endstream", stream);
        const QByteArray data = pdf.mid(stream + 7, end - stream - 7);
        from = end + 9;
        // Content streams are deflated (a zlib header, 0x78); qUncompress wants the size first and grows
        // past a short one.
        if (!data.startsWith('\x78'))
            continue;
        const QByteArray content = qUncompress(QByteArray("\x00\x10\x00\x00", 4) + data);
        if (const auto m = draw.match(QString::fromLatin1(content)); m.hasMatch()) {
            const double sx = m.captured(1).toDouble();
            const double sy = m.captured(2).toDouble();
            const double w = m.captured(5).toDouble() * sx;
            const double h = m.captured(6).toDouble() * -sy;
            const double top = m.captured(4).toDouble() - h;
            printed.rect = QRectF(m.captured(3).toDouble(), top, w, h);
        }
    }
    return printed;
}

// The PDF writes its matrices with six decimals.
void ExpectNear(const QRectF& actual, const QRectF& expected) {
    EXPECT_NEAR(actual.left(), expected.left(), 0.01);
    EXPECT_NEAR(actual.top(), expected.top(), 0.01);
    EXPECT_NEAR(actual.width(), expected.width(), 0.01);
    EXPECT_NEAR(actual.height(), expected.height(), 0.01);
}

// A frame without a camera holding a 640 x 480 colour image, and its view.
class Printing : public ::testing::Test {
protected:
    void SetUp() override {
        GiveBuffers(frame, 640, 480);
        frame.ProcessFrame();
        ASSERT_EQ(frame.m_pBmpInfo->bmiHeader.biBitCount, 24);
    }
    PrintedImage Print(int dpi) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(dir.File("out.pdf")));
        printer.setResolution(dpi);
        view.PrintImage(printer);
        return ReadPdf(dir.File("out.pdf"));
    }

    CMainFrame frame;
    COcuViewerView view{&frame};
    TempDir dir;
};

} // namespace

TEST_F(Printing, EachImagePixelIsA96thOfAnInchOnOnePage) {
    const PrintedImage at600 = Print(600);
    EXPECT_EQ(at600.pages, 1);
    EXPECT_EQ(at600.images, 1);
    ExpectNear(at600.rect, QRectF(0, 0, 4000, 3000));
    // Truncated toward zero: 640 x 100 / 96 is 666.67.
    ExpectNear(Print(100).rect, QRectF(0, 0, 666, 500));
}

TEST_F(Printing, WhileAcquiringThePageStaysEmpty) {
    frame.m_bSnapping = 1;
    const PrintedImage printed = Print(600);
    EXPECT_EQ(printed.pages, 1);
    EXPECT_EQ(printed.images, 0);
    frame.m_bSnapping = 0;
}

namespace {

class View : public SimViewerTest {};
class Preview : public ViewerTest {};

QRgb Rgb(Bgr p) {
    return qRgb(p.r, p.g, p.b);
}

} // namespace

TEST_F(View, RepaintsTheLastImageUprightWhenIdleAndNothingWhileAcquiring) {
    const ExactSimCamera camera;
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 640, 480);
    COcuViewerView& view = *frame.GetActiveView();
    ASSERT_TRUE(frame.ExecuteCommand(kIdSingleSnap));

    QImage shown = view.grab().toImage();
    ASSERT_EQ(shown.size(), QSize(640, 480));
    for (const QPoint p :
         {QPoint(0, 0), QPoint(230, 278), QPoint(147, 139), QPoint(576, 415), QPoint(639, 479)})
        EXPECT_EQ(shown.pixel(p), Rgb(DisplayPixel(frame, p.x(), p.y()))) << p.x() << "," << p.y();

    ASSERT_TRUE(frame.ExecuteCommand(kIdImageBw));
    ASSERT_TRUE(frame.ExecuteCommand(kIdSingleSnap));
    shown = view.grab().toImage();
    for (const QPoint p : {QPoint(0, 0), QPoint(230, 278), QPoint(576, 415)}) {
        const int level = DisplayGray(frame, p.x(), p.y());
        EXPECT_EQ(shown.pixel(p), qRgb(level, level, level));
    }

    // While frames arrive only they are painted; the view's own repaints show its background.
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    frame.m_bSnapping = 1;
    shown = view.grab().toImage();
    EXPECT_EQ(shown.pixel(230, 278), view.palette().window().color().rgb());
    frame.close();
}

TEST_F(View, DirectPrintUsesThePrinterAsSetUpWithoutADialog) {
    const ExactSimCamera camera;
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 320, 240);
    ASSERT_TRUE(frame.ExecuteCommand(kIdSingleSnap));
    TempDir dir;
    QPrinter& printer = viewer.App().Printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(dir.File("direct.pdf")));
    printer.setResolution(96);

    // No menu item carries it; a dialog would leave the command waiting here.
    EXPECT_EQ(frame.FindAction(kIdFilePrintDirect), nullptr);
    ASSERT_TRUE(frame.ExecuteCommand(kIdFilePrintDirect));
    const PrintedImage printed = ReadPdf(dir.File("direct.pdf"));
    EXPECT_EQ(printed.pages, 1);
    EXPECT_EQ(printed.images, 1);
    ExpectNear(printed.rect, QRectF(0, 0, 320, 240));
    frame.close();
}

TEST_F(Preview, EndsWithTheRegionAndOutputWindowTakenAgain) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 640, 480);
    frame.m_nFrameCount = 7;
    driver.ClearCalls();
    QTimer::singleShot(200, [] {
        if (QWidget* preview = QApplication::activeModalWidget())
            preview->close();
    });
    ASSERT_TRUE(frame.ExecuteCommand(kIdFilePrintPreview));
    EXPECT_EQ(FirstCall(driver.CallTexts(), "OcuSetOutputWindow"), "OcuSetOutputWindow(0, 0, 640, 480)");
    EXPECT_EQ(frame.m_nFrameCount, 0);
}
