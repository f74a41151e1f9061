// The frame's Histogram tool window: opening and closing it, feeding it the images the frame makes, the
// mouse over the view, and the marks and the focus rectangle painted over the picture on the screen.
#include "camera/TickCount.h"
#include "display/HistogramWnd.h"
#include "display/ImageAids.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"
#include "frame/MainFrame.h"

#include <QAction>
#include <QPainter>
#include <QPen>
#include <QScreen>
#include <algorithm>
#include <cstdlib>

using namespace ocu;

namespace {

// Where the tool window first opens: inside the top-right corner of the picture, over it.
constexpr int kToolMargin = 16;
// Wide enough for the longest readout and sharpness line at the usual font sizes.
constexpr int kToolWidth = 340;

} // namespace

FrameImage CMainFrame::CurrentImage() const {
    FrameImage image;
    image.raw = m_bImageFromRaw ? m_pRawBuffer.get() : nullptr;
    image.info = m_pBmpInfo;
    image.image = m_pImageBuffer.get();
    image.bayerLayout = m_nBayerLayout;
    image.regionLeft = m_rcRegion.left;
    image.regionTop = m_rcRegion.top;
    return image;
}

void CMainFrame::OnHistogram() {
    if (m_pImageAids) {
        m_pHistogramWnd->close(); // its Closed signal lets the measurements go
        return;
    }
    if (m_pHistogramWnd == nullptr) {
        m_pHistogramWnd = new CHistogramWnd(this);
        connect(m_pHistogramWnd, &CHistogramWnd::Closed, this, &CMainFrame::OnHistogramClosed);
        connect(m_pHistogramWnd, &CHistogramWnd::MarksToggled, this, [this](bool on) {
            if (!m_pImageAids)
                return;
            m_pImageAids->SetMarksOn(on);
            // While frames arrive the driver may be filling the raw buffer: the next frame brings the marks.
            if (!m_bSnapping)
                m_pImageAids->UpdateMarks(CurrentImage());
            RepaintImageAids();
        });
        connect(m_pHistogramWnd, &CHistogramWnd::WholeImageChosen, this, [this] {
            if (!m_pImageAids)
                return;
            m_pImageAids->SetFocusRect({});
            if (!m_bSnapping)
                m_pImageAids->Sample(CurrentImage(), TickCount());
            ShowImageAids();
            RepaintImageAids();
        });
        m_pHistogramWnd->adjustSize();
        m_pHistogramWnd->resize(std::max(m_pHistogramWnd->width(), kToolWidth), m_pHistogramWnd->height());
        if (m_pView != nullptr) {
            // On the screen whatever the picture's size: a frame without an image is no wider than its menus.
            const QPoint corner = m_pView->mapToGlobal(QPoint(m_pView->width(), 0));
            const QSize size = m_pHistogramWnd->size();
            QPoint at(corner.x() - size.width() - kToolMargin, corner.y() + kToolMargin);
            if (const QScreen* s = screen()) {
                const QRect room = s->availableGeometry();
                at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - size.width())));
                at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - size.height())));
            }
            m_pHistogramWnd->move(at);
        }
    }
    m_pImageAids = std::make_unique<ImageAids>();
    m_pImageAids->SetMarksOn(m_pHistogramWnd->MarksChecked());
    if (m_pView != nullptr)
        m_pView->setMouseTracking(true);
    // A still picture is measured at once; a live one with its next frame. Nothing may read the raw buffer
    // outside a frame handler while the driver fills it.
    if (!m_bSnapping && m_pImageBuffer) {
        const FrameImage image = CurrentImage();
        m_pImageAids->UpdateMarks(image);
        m_pImageAids->Sample(image, TickCount());
    }
    ShowImageAids();
    m_pHistogramWnd->show();
    m_pHistogramWnd->raise();
    RepaintImageAids();
}

void CMainFrame::OnHistogramClosed() {
    m_pImageAids.reset();
    if (m_pView != nullptr)
        m_pView->setMouseTracking(false);
    if (QAction* action = FindAction(kIdHistogram))
        action->setChecked(false);
    RepaintImageAids();
}

void CMainFrame::OnImageMade(bool fromRaw) {
    m_bImageFromRaw = fromRaw;
    if (!m_pImageAids)
        return;
    const FrameImage image = CurrentImage();
    m_pImageAids->UpdateMarks(image);
    const uint32_t now = TickCount();
    // An image from a file stands still and is measured at once.
    if (!fromRaw || m_pImageAids->SampleDue(now)) {
        m_pImageAids->Sample(image, now);
        ShowImageAids();
    }
}

void CMainFrame::ShowImageAids() {
    if (!m_pImageAids || m_pHistogramWnd == nullptr)
        return;
    m_pHistogramWnd->ShowFigures(*m_pImageAids);
    const std::optional<QPoint> mouse = m_pImageAids->mouse;
    m_pHistogramWnd->ShowReadout(mouse ? m_pImageAids->Readout(CurrentImage(), *mouse) : std::nullopt);
}

void CMainFrame::RepaintImageAids() {
    // While frames arrive the next one paints them; a repaint of the view would draw nothing meanwhile.
    if (!m_bSnapping && m_pView != nullptr)
        m_pView->update();
}

void CMainFrame::OnImageMouseMove(QPoint pixel, bool dragging) {
    if (!m_pImageAids)
        return;
    m_pImageAids->mouse = pixel;
    m_pHistogramWnd->ShowReadout(m_pImageAids->Readout(CurrentImage(), pixel));
    if (dragging && m_pImageAids->dragFrom) {
        m_pImageAids->dragTo = pixel;
        RepaintImageAids();
    }
}

void CMainFrame::OnImageMousePress(QPoint pixel) {
    if (!m_pImageAids)
        return;
    m_pImageAids->dragFrom = pixel;
    m_pImageAids->dragTo = pixel;
}

void CMainFrame::OnImageMouseRelease(QPoint pixel) {
    if (!m_pImageAids || !m_pImageAids->dragFrom)
        return;
    const BitmapInfoHeader& h = m_pBmpInfo->bmiHeader;
    // A click, or a drag too short to measure, gives the whole image back.
    m_pImageAids->SetFocusRect(DragRect(*m_pImageAids->dragFrom, pixel, h.biWidth, std::abs(h.biHeight)));
    m_pImageAids->dragFrom.reset();
    m_pImageAids->dragTo.reset();
    if (!m_bSnapping && m_pImageBuffer)
        m_pImageAids->Sample(CurrentImage(), TickCount());
    ShowImageAids();
    RepaintImageAids();
}

void CMainFrame::OnImageMouseLeave() {
    if (!m_pImageAids)
        return;
    m_pImageAids->mouse.reset();
    m_pHistogramWnd->ShowReadout(std::nullopt);
}

void CMainFrame::PaintImageAids(QPainter& painter, double scale) const {
    if (!m_pImageAids)
        return;
    const BitmapInfoHeader& h = m_pBmpInfo->bmiHeader;
    if (const QImage* marks = m_pImageAids->Marks();
        marks != nullptr && marks->width() == h.biWidth && marks->height() == std::abs(h.biHeight)) {
        // One device pixel per image pixel, as the picture.
        painter.drawImage(QRectF(0, 0, marks->width() / scale, marks->height() / scale), *marks);
    }
    Rect area = m_pImageAids->FocusRect();
    if (m_pImageAids->dragFrom && m_pImageAids->dragTo) {
        const QPoint& a = *m_pImageAids->dragFrom;
        const QPoint& b = *m_pImageAids->dragTo;
        area = Rect{std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::max(a.x(), b.x()) + 1,
                    std::max(a.y(), b.y()) + 1};
    }
    if (area.Width() <= 0 || area.Height() <= 0)
        return;
    const QRectF outline(area.left / scale, area.top / scale, area.Width() / scale, area.Height() / scale);
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(outline.adjusted(0, 0, -1 / scale, -1 / scale));
    painter.setPen(QPen(Qt::yellow, 0, Qt::DashLine));
    painter.drawRect(outline.adjusted(0, 0, -1 / scale, -1 / scale));
}
