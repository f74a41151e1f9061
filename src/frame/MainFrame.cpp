#include "frame/MainFrame.h"

#include "app/AppIcon.h"
#include "app/HelpLinks.h"
#include "app/MessageBox.h"
#include "camera/DeviceInfo.h"
#include "camera/TickCount.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"
#include "frame/Settings.h"
#include "imaging/YuvLut.h"

#include <QCloseEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <algorithm>
#include <new>

using namespace ocu;

CMainFrame::CMainFrame() : m_pBmpInfo(new (m_BmpInfoBuf) BitmapInfo{}), m_Lut(IdentityLuts()) {
    setWindowTitle(QString::fromLatin1(kAppTitle));
    setWindowIcon(AppIcon());
}

CMainFrame::~CMainFrame() {
    CloseCaptureForDestruction();
    // Released in the order the viewer has always released them; the device is closed by the close
    // sequence, never here.
    m_pImageBuffer.reset();
    m_pRawBuffer.reset();
    m_hPalette.reset();
    m_pYUVLut.reset();
    m_hYUVLutFile.reset();
    m_pPatternNoise.reset();
    m_pBadPixels.reset();
}

int CMainFrame::OnCreate() {
    if (!CreateContents())
        return -1;

    LoadSettings();
    InitDisplay();
    if (m_nImageMode == 1 && !m_pYUVLut)
        m_pYUVLut = MapYUVLut(YuvLutPath());

    const OCUSTATUS status = BeginOcuDevice(OCU_FIRST_DEVICE, &m_hDevice);
    if (status != OCU_OK) {
        // The driver nulls the handle on failure; make sure nothing below talks to a device that is not open.
        m_hDevice = nullptr;
        ShowDriverError(status);
    } else {
        InitDevice();
    }

    int32_t type = 0;
    if (m_hDevice == nullptr || !QueryDeviceType(m_hDevice, type))
        m_strDeviceName = QStringLiteral("OcuDevice");
    else if (type == 0)
        m_strDeviceName = QStringLiteral("VelA");
    else if (type == 1)
        m_strDeviceName = QStringLiteral("VelB");
    else if (type == 2)
        m_strDeviceName = QStringLiteral("VelC");
    return 0;
}

bool CMainFrame::CreateContents() {
    m_pView = new COcuViewerView(this);
    setCentralWidget(m_pView);
    BuildMenus();
    BuildAccelerators();
    return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_bSnapping)
        ExecuteCommand(kIdContinuousSnap);
    SaveSettings();
    if (m_hDevice != nullptr) {
        EndOcuDevice(m_hDevice);
        m_hDevice = nullptr;
    }
    event->accept();
}

// --- Settings ----------------------------------------------------------------------------------------

namespace {

// Pairs each stored setting with the frame member it feeds, for both directions of the transfer.
template <typename Transfer>
void PairSettings(StoredSettings& s, CMainFrame& f, Transfer transfer) {
    transfer(s.nResolution, f.m_nResolution);
    transfer(s.nSnapMode, f.m_nSnapMode);
    transfer(s.nImageMode, f.m_nImageMode);
    transfer(s.nBayerLayout, f.m_nBayerLayout);
    transfer(s.nTintUpper, f.m_nTintUpper);
    transfer(s.nTintLower, f.m_nTintLower);
    transfer(s.nADCLevel, f.m_nADCLevel);
    transfer(s.nGain, f.m_nGain);
    transfer(s.dRatioR, f.m_dRatioR);
    transfer(s.dRatioG, f.m_dRatioG);
    transfer(s.dRatioB, f.m_dRatioB);
    transfer(s.nHBlanking, f.m_nHBlanking);
    transfer(s.nVBlanking, f.m_nVBlanking);
    transfer(s.nSnapSpeed, f.m_nSnapSpeed);
}

} // namespace

void CMainFrame::LoadSettings() {
    const auto ini = IniFile::Load(SettingsFilePath());
    StoredSettings s = ReadSettings(ini ? *ini : IniFile());
    PairSettings(s, *this, [](const auto& stored, auto& member) { member = stored; });
}

void CMainFrame::SaveSettings() {
    StoredSettings s;
    PairSettings(s, *this, [](auto& stored, const auto& member) { stored = member; });

    // A file that exists but cannot be read is left alone rather than replaced by what was not seen.
    const std::string path = SettingsFilePath();
    auto ini = IniFile::Load(path);
    if (!ini)
        return;
    WriteSettings(*ini, s);
    // A file that cannot be written keeps what it held; the next run reads that.
    ini->Save(path);
}

// --- Title -------------------------------------------------------------------------------------------

void CMainFrame::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    RefreshTitle();
}

void CMainFrame::RefreshTitle() {
    setWindowTitle(QString::asprintf("%s Viewer [%d x %d]", m_strDeviceName.toUtf8().constData(),
                                     m_rcRegion.right - m_rcRegion.left, m_rcRegion.bottom - m_rcRegion.top));
}

// --- Size rule and output window ---------------------------------------------------------------------

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

// --- Commands ----------------------------------------------------------------------------------------

void CMainFrame::BuildMenus() {
    QHash<QString, QMenu*> menus;
    const auto menuFor = [&](const QString& path) {
        if (QMenu* existing = menus.value(path))
            return existing;
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        QMenu* menu = nullptr;
        if (slash < 0)
            menu = menuBar()->addMenu(path);
        else
            menu = menus.value(path.left(slash))->addMenu(path.mid(slash + 1));
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { UpdateMenu(menu); });
        menus.insert(path, menu);
        return menu;
    };

    for (const CommandDef& def : CommandTable()) {
        const QString path = QString::fromLatin1(def.menuPath);
        if (path.isEmpty())
            continue;
        // Parent menus come first, so that "&Options/Resolution" finds "&Options".
        const qsizetype slash = path.indexOf(QLatin1Char('/'));
        if (slash > 0)
            menuFor(path.left(slash));
        QMenu* menu = menuFor(path);
        if (def.id == 0) {
            menu->addSeparator();
            continue;
        }
        QString text = QString::fromLatin1(def.text);
        if (def.shortcut[0] != '\0')
            text += QLatin1Char('\t') + QString::fromLatin1(def.shortcut);
        QAction* action = menu->addAction(text);
        action->setData(def.id);
        // The keys are the accelerator table's, so the action itself carries no shortcut.
        action->setCheckable(def.update != nullptr && !def.neverChecked);
        const int id = def.id;
        connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        m_actions.insert(def.id, action);
        UpdateAction(action);
    }
}

void CMainFrame::BuildAccelerators() {
    for (const AcceleratorDef& accel : AcceleratorTable()) {
        auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(accel.keys)), this);
        shortcut->setContext(Qt::WindowShortcut);
        const int id = accel.id;
        connect(shortcut, &QShortcut::activated, this, [this, id] { ExecuteCommand(id); });
    }
}

CommandUi CMainFrame::QueryCommand(int id) const {
    const CommandDef* def = FindCommand(id);
    if (def == nullptr || def->handler == nullptr)
        return CommandUi{false, false};
    return def->update ? def->update(*this) : CommandUi{};
}

bool CMainFrame::ExecuteCommand(int id) {
    const CommandDef* def = FindCommand(id);
    if (def == nullptr || def->handler == nullptr || !QueryCommand(id).enabled)
        return false;
    def->handler(*this);
    // A checkable action toggles itself when triggered; the rule has the last word.
    if (QAction* action = m_actions.value(id))
        UpdateAction(action);
    return true;
}

QAction* CMainFrame::FindAction(int id) const {
    return m_actions.value(id);
}

void CMainFrame::UpdateAction(QAction* action) const {
    const CommandUi ui = QueryCommand(action->data().toInt());
    action->setEnabled(ui.enabled);
    action->setChecked(ui.checked);
}

void CMainFrame::UpdateMenu(QMenu* menu) {
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator() && action->menu() == nullptr)
            UpdateAction(action);
    }
}

void CMainFrame::OnGoToWebsite() {
    OpenWebsite();
}

void CMainFrame::OnContactSupport() {
    OpenSupportMail();
}
