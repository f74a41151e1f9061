// The frame's geometry: the size rule, the borders, and the region that follows the view's size.
#include "camera/TickCount.h"
#include "display/OcuViewerView.h"
#include "frame/MainFrame.h"
#include "frame/WindowSystemSize.h"

#include <QEvent>
#include <QLayout>
#include <QMenuBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <optional>

using namespace ocu;

void CMainFrame::OnSize() {
    if (m_pView == nullptr)
        return;
    // Whatever size the window manager grants, the region stays within the sensor image and so within
    // the frame buffers.
    const double scale = DeviceScale();
    m_rcRegion = RegionForClient(ToDevicePixels(m_pView->width(), scale),
                                 ToDevicePixels(m_pView->height(), scale), m_nWidth, m_nHeight);
    ApplyRegionToCamera();
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
    // Until the borders are known the rule would take the whole frame for the image and cut the view by
    // the menu bar; the start-up applies it once they are measured.
    if (!m_bBordersMeasured)
        return;
    // Where the window manager holds the window at a size of its own, asking again would be refused
    // again, and each refusal taken in turn would ask once more.
    if (!m_adoptedSize.isEmpty() && size() == m_adoptedSize)
        return;
    const double scale = DeviceScale();
    const QRect g = geometry();
    const WindowPos proposed{ToDevicePixels(g.x(), scale), ToDevicePixels(g.y(), scale),
                             ToDevicePixels(g.width(), scale), ToDevicePixels(g.height(), scale)};
    const SizeRuleInput in = SizeRuleState();
    const WindowPos pos = ApplySizeRule(in, proposed, m_bWasIconic);
    // A maximised window is sized by the window manager within the frame's limits; the region keeps
    // within the image whatever it grants.
    if (pos == proposed || in.show != WindowShow::Normal) {
        m_requestedSize = QSize();
        return;
    }
    const QSize wanted(std::max(ToLogicalPixels(pos.cx, scale), MinimumFrameWidth()),
                       std::max(ToLogicalPixels(pos.cy, scale), 0));
    // A window manager that will not give the size asked for is not asked again and again.
    if (wanted == m_requestedSize || wanted == g.size())
        return;
    m_requestedSize = wanted;
    // Only the size: the position belongs to the window manager and the user, and a frame not yet placed
    // reports a position that moving it to would put its title bar off the screen.
    resize(wanted);
    LayOutNow();
}

void CMainFrame::AdoptGrantedSize() {
    // Qt gives the frame the size it asks for at once; a window manager that keeps the window at another
    // size (a tiling one keeps its tile) may never say so in a way Qt takes up. The frame would then paint
    // only part of its window and leave the rest showing what was there before, an old picture as often as
    // not. It takes the size the X server has, beyond its limits if need be; the view stays within the
    // image, and the frame's background fills the rest.
    if (m_bClosing)
        return;
    const std::optional<QSize> device = WindowSystemSize(*this);
    if (!device)
        return;
    // Rounded as Qt rounds a window's size to device pixels, so that on a fractional scale a window the
    // window manager left as asked reads back as the size asked for.
    const double scale = DeviceScale();
    const QSize granted(qRound(device->width() / scale), qRound(device->height() / scale));
    if (granted.isEmpty() || granted == size())
        return;
    m_adoptedSize = granted;
    setMaximumSize(maximumSize().expandedTo(granted));
    resize(granted);
}

double CMainFrame::DeviceScale() const {
    return devicePixelRatioF();
}

int CMainFrame::MinimumFrameWidth() const {
    // Without an image (no camera, or no resolution table) the frame keeps the width its menu bar needs,
    // so that it stays a visible window whose menus can be used; a window of no width is never shown.
    return m_nWidth > 0 ? 0 : menuBar()->sizeHint().width();
}

void CMainFrame::LayOutNow() {
    // The window system confirms a new frame geometry later; the view, and with it the region and the
    // camera's output window, follow the frame's own size at once.
    if (QLayout* frameLayout = layout()) {
        frameLayout->invalidate();
        frameLayout->activate();
    }
    FitViewIntoFrame();
}

void CMainFrame::FitViewIntoFrame() {
    // With no room left below the menu bar (a frame shrunk to it), the main window's layout moves its
    // central widget out of sight at its old size; the view is given the room there is instead, so that
    // the region, the camera's window and the title say 0 rather than the last size.
    if (m_pView == nullptr)
        return;
    const int top = menuBar()->isVisible() ? menuBar()->geometry().bottom() + 1 : 0;
    const QRect room(0, top, width(), std::max(height() - top, 0));
    const QRect view = m_pView->geometry();
    if (!room.isEmpty() && room.contains(view))
        return;
    const QRect fitted(room.topLeft(),
                       QSize(std::min(view.width(), room.width()), std::min(view.height(), room.height())));
    if (fitted != view)
        m_pView->setGeometry(fitted);
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
    // New limits: the size rule asks the window manager once more.
    m_adoptedSize = QSize();
    const double scale = DeviceScale();
    const int width = ToLogicalPixels(std::max(m_nWidth, 0), scale);
    const int height = ToLogicalPixels(std::max(m_nHeight, 0), scale);
    if (m_pView != nullptr)
        m_pView->setMaximumSize(width, height);
    const int extraWidth = std::max(ToLogicalPixels(m_nBorderLeft + m_nBorderRight, scale), 0);
    const int extraHeight = std::max(ToLogicalPixels(m_nBorderTop + m_nBorderBottom, scale), 0);
    setMaximumSize(std::max(width + extraWidth, MinimumFrameWidth()), height + extraHeight);
    // Window managers that honour increments let the user drag only to allowed client sizes: 4 x 2
    // device pixels, where a whole number of logical pixels makes them.
    // Without an image there is nothing to keep in step with, and steps would cut the menu bar's width.
    const auto increment = [this, scale](int device) {
        const double logical = device / scale;
        return m_nWidth > 0 && logical >= 1 && logical == std::floor(logical) ? static_cast<int>(logical) : 1;
    };
    setBaseSize(extraWidth, extraHeight);
    setSizeIncrement(increment(4), increment(2));
    LayOutNow();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // A window manager that changes the window after its size was taken acts on requests after all (or
    // was only slow to): the frame's own limits again, and the size rule asks once more.
    if (!m_adoptedSize.isEmpty() && size() != m_adoptedSize) {
        m_adoptedSize = QSize();
        QMetaObject::invokeMethod(this, &CMainFrame::ReapplyWindowRect, Qt::QueuedConnection);
    }
    m_pSizeCheckTimer->start();
    FitViewIntoFrame();
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
    const double scale = DeviceScale();
    const auto device = [scale](int logical) { return ToDevicePixels(logical, scale); };
    m_nBorderLeft = device(client.left()) - device(frame.left());
    m_nBorderTop = device(client.top()) - device(frame.top());
    m_nBorderRight = device(frame.left() + frame.width()) - device(client.left() + client.width());
    m_nBorderBottom = device(frame.top() + frame.height()) - device(client.top() + client.height());
    m_bBordersMeasured = true;
    UpdateSizeLimits();
}

void CMainFrame::ReapplyWindowRect() {
    UpdateSizeLimits();
    EnforceSizeRule();
    update();
}
