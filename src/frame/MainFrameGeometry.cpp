// The frame's geometry: the size rule, the borders, and the region that follows the view's size.
#include "camera/TickCount.h"
#include "display/OcuViewerView.h"
#include "frame/MainFrame.h"

#include <QEvent>
#include <QLayout>
#include <algorithm>

using namespace ocu;

void CMainFrame::OnSize() {
    if (m_pView == nullptr)
        return;
    // Whatever size the window manager grants, the region stays within the sensor image and so within
    // the frame buffers.
    m_rcRegion = RegionForClient(m_pView->width(), m_pView->height(), m_nWidth, m_nHeight);
    ApplyOutputWindow(m_rcRegion.left, m_rcRegion.top, m_rcRegion.Width(), m_rcRegion.Height());
    m_nFrameCount = 0;
    m_dwStartTick = TickCount();
    ApplyExposure(RegionWidth(), m_nTintUpper, m_nTintLower);
    // The frame repaints after every size change, and its paint puts the new size in the title; a
    // frame too small to paint still shows it.
    RefreshTitle();
    update();
}

SizeRuleInput CMainFrame::SizeRuleState() const {
    SizeRuleInput in;
    in.resolution = m_nResolution;
    in.width = m_nWidth;
    in.height = m_nHeight;
    in.screenWidth = m_nScreenWidth;
    in.screenHeight = m_nScreenHeight;
    in.borders = FrameBorders{m_nBorderLeft, m_nBorderTop, m_nBorderRight, m_nBorderBottom};
    if (isMinimized())
        in.show = WindowShow::Minimized;
    else if (isMaximized() || isFullScreen())
        in.show = WindowShow::Maximized;
    return in;
}

void CMainFrame::EnforceSizeRule() {
    const QRect g = geometry();
    const WindowPos proposed{g.x(), g.y(), g.width(), g.height()};
    const SizeRuleInput in = SizeRuleState();
    const WindowPos pos = ApplySizeRule(in, proposed, m_bWasIconic);
    // A maximised window is sized by the window manager within the frame's limits; the region keeps
    // within the image whatever it grants.
    if (pos == proposed || in.show != WindowShow::Normal) {
        m_requestedSize = QSize();
        return;
    }
    // A window manager that will not give the size asked for is not asked again and again.
    const QSize wanted(std::max(pos.cx, 0), std::max(pos.cy, 0));
    if (wanted == m_requestedSize)
        return;
    m_requestedSize = wanted;
    setGeometry(pos.x, pos.y, wanted.width(), wanted.height());
    LayOutNow();
}

void CMainFrame::LayOutNow() {
    // The window system confirms a new frame geometry later; the view, and with it the region and the
    // camera's output window, follow the frame's own size at once.
    if (QLayout* frameLayout = layout()) {
        frameLayout->invalidate();
        frameLayout->activate();
    }
}

void CMainFrame::PostSizeRule() {
    // Applied once the event that changed the geometry is done, so that the view has been laid out to
    // the size that the rule then corrects.
    if (m_bSizeRulePosted)
        return;
    m_bSizeRulePosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_bSizeRulePosted = false;
            EnforceSizeRule();
        },
        Qt::QueuedConnection);
}

void CMainFrame::UpdateSizeLimits() {
    const int width = std::max(m_nWidth, 0);
    const int height = std::max(m_nHeight, 0);
    if (m_pView != nullptr)
        m_pView->setMaximumSize(width, height);
    const int extraWidth = m_nBorderLeft + m_nBorderRight;
    const int extraHeight = m_nBorderTop + m_nBorderBottom;
    setMaximumSize(std::max(width + extraWidth, 0), std::max(height + extraHeight, 0));
    // Window managers that honour increments let the user drag only to allowed client sizes.
    setBaseSize(std::max(extraWidth, 0), std::max(extraHeight, 0));
    setSizeIncrement(4, 2);
    LayOutNow();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    EnforceSizeRule();
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        PostSizeRule();
}

void CMainFrame::MeasureFrameBorders() {
    if (m_pView == nullptr)
        return;
    // The frame's rectangle is the part of the window that the program sizes (the window manager's
    // decoration lies outside it), and the view's client rectangle is the area the frame's layout gives
    // it, below the menu bar; so the borders are what the frame adds around the view. The layout runs
    // first, so that a geometry change that the window system has not yet confirmed cannot put the two
    // rectangles out of step.
    LayOutNow();
    const QRect frame = rect();
    const QRect client = layout() != nullptr ? layout()->geometry() : m_pView->geometry();
    m_nBorderLeft = client.left() - frame.left();
    m_nBorderTop = client.top() - frame.top();
    m_nBorderRight = (frame.left() + frame.width()) - (client.left() + client.width());
    m_nBorderBottom = (frame.top() + frame.height()) - (client.top() + client.height());
    UpdateSizeLimits();
}

void CMainFrame::ReapplyWindowRect() {
    UpdateSizeLimits();
    EnforceSizeRule();
    update();
}
