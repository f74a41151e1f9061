#include "display/OcuViewerView.h"

#include "app/OcuViewerApp.h"
#include "display/DibPainter.h"
#include "frame/MainFrame.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QResizeEvent>
#include <cmath>
#include <cstdlib>

using namespace ocu;

COcuViewerView::COcuViewerView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // The view paints every pixel itself (image and background), so nothing needs painting beneath it: a
    // frame costs one pass over the view, and the frame window's own paint (which resets the title) does
    // not run for it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CMainFrame* COcuViewerView::GetMainFrame() const {
    return qobject_cast<CMainFrame*>(window());
}

QSize COcuViewerView::sizeHint() const {
    if (const CMainFrame* frame = GetMainFrame(); frame && frame->m_nWidth > 0 && frame->m_nHeight > 0)
        return QSize(ToLogicalPixels(frame->m_nWidth, devicePixelRatioF()),
                     ToLogicalPixels(frame->m_nHeight, devicePixelRatioF()));
    return QSize(640, 480);
}

void COcuViewerView::PaintFrame() {
    m_bPaintingFrame = true;
    repaint();
    m_bPaintingFrame = false;
}

QRect COcuViewerView::OnDraw(QPainter& painter, bool printing) {
    const CMainFrame* frame = GetMainFrame();
    if (frame == nullptr || !frame->m_pImageBuffer || (frame->m_bSnapping && !m_bPaintingFrame))
        return {};
    const BitmapInfo& info = *frame->m_pBmpInfo;
    const uint8_t* bits = frame->m_pImageBuffer.get();
    const int width = info.bmiHeader.biWidth;
    const int height = std::abs(info.bmiHeader.biHeight);
    if (width <= 0 || height <= 0)
        return {};
    if (!printing) {
        PaintDib(painter, info, bits);
        // The logical pixels the image touches, partly covered ones included.
        const qreal scale = devicePixelRatioF();
        return QRect(0, 0, static_cast<int>(std::ceil(width / scale)),
                     static_cast<int>(std::ceil(height / scale)));
    }
    const QPaintDevice* device = painter.device();
    const QRect target(0, 0, width * device->logicalDpiX() / 96, height * device->logicalDpiY() / 96);
    PaintDibScaled(painter, info, bits, target);
    return target;
}

void COcuViewerView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect image = OnDraw(painter, false);
    for (const QRect& rect : event->region() - image)
        painter.fillRect(rect, palette().window());
    // The aids go over the picture on the screen alone: OnDraw, which printing shares, never draws them.
    if (CMainFrame* frame = GetMainFrame(); frame != nullptr && !image.isEmpty())
        frame->PaintImageAids(painter, devicePixelRatioF());
}

QPoint COcuViewerView::ImagePixel(const QPointF& position) const {
    const qreal scale = devicePixelRatioF();
    return QPoint(static_cast<int>(std::floor(position.x() * scale)),
                  static_cast<int>(std::floor(position.y() * scale)));
}

void COcuViewerView::mouseMoveEvent(QMouseEvent* event) {
    if (CMainFrame* frame = GetMainFrame())
        frame->OnImageMouseMove(ImagePixel(event->position()), (event->buttons() & Qt::LeftButton) != 0);
    QWidget::mouseMoveEvent(event);
}

void COcuViewerView::mousePressEvent(QMouseEvent* event) {
    if (CMainFrame* frame = GetMainFrame(); frame != nullptr && event->button() == Qt::LeftButton)
        frame->OnImageMousePress(ImagePixel(event->position()));
    QWidget::mousePressEvent(event);
}

void COcuViewerView::mouseReleaseEvent(QMouseEvent* event) {
    if (CMainFrame* frame = GetMainFrame(); frame != nullptr && event->button() == Qt::LeftButton)
        frame->OnImageMouseRelease(ImagePixel(event->position()));
    QWidget::mouseReleaseEvent(event);
}

void COcuViewerView::leaveEvent(QEvent* event) {
    if (CMainFrame* frame = GetMainFrame())
        frame->OnImageMouseLeave();
    QWidget::leaveEvent(event);
}

void COcuViewerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (CMainFrame* frame = GetMainFrame())
        frame->OnSize();
}

QPrinter& COcuViewerView::Printer() {
    if (COcuViewerApp* app = COcuViewerApp::Current())
        return app->Printer();
    // A view without the application object (a frame on its own) prints with a printer of its own.
    static QPrinter printer;
    return printer;
}

void COcuViewerView::PrintImage(QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    OnDraw(painter, true);
}

bool COcuViewerView::OnPreparePrinting(QPrinter& printer) {
    QPrintDialog dialog(&printer, this);
    return dialog.exec() == QDialog::Accepted;
}

void COcuViewerView::OnFilePrint() {
    QPrinter& printer = Printer();
    if (OnPreparePrinting(printer))
        PrintImage(printer);
}

void COcuViewerView::OnFilePrintDirect() {
    PrintImage(Printer());
}

void COcuViewerView::OnFilePrintPreview() {
    QPrintPreviewDialog preview(&Printer(), this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { PrintImage(*printer); });
    preview.exec();
    OnEndPrintPreview();
}

void COcuViewerView::OnEndPrintPreview() {
    if (CMainFrame* frame = GetMainFrame())
        frame->OnSize();
}
