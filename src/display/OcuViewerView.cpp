#include "display/OcuViewerView.h"

#include "frame/MainFrame.h"

#include <QResizeEvent>

COcuViewerView::COcuViewerView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

CMainFrame* COcuViewerView::GetMainFrame() const {
    return qobject_cast<CMainFrame*>(window());
}

QSize COcuViewerView::sizeHint() const {
    if (const CMainFrame* frame = GetMainFrame(); frame && frame->m_nWidth > 0 && frame->m_nHeight > 0)
        return QSize(frame->m_nWidth, frame->m_nHeight);
    return QSize(640, 480);
}

void COcuViewerView::paintEvent(QPaintEvent* event) {
    // The image is painted here once frames are drawn; until then the view shows its background.
    QWidget::paintEvent(event);
}

void COcuViewerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (CMainFrame* frame = GetMainFrame())
        frame->OnSize();
}

void COcuViewerView::OnFilePrint() {
    // Printing renders the current image through the printer dialog; it comes with image printing.
}

void COcuViewerView::OnFilePrintPreview() {}
