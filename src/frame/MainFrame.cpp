// The frame's life: construction, the creation and close sequences, destruction, the title, and the
// window messages that carry no subject of their own.
#include "frame/MainFrame.h"

#include "app/AppIcon.h"
#include "app/HelpLinks.h"
#include "camera/CameraChoice.h"
#include "camera/CameraWatch.h"
#include "camera/DeviceInfo.h"
#include "camera/FrameHandOver.h"
#include "common/AppTitle.h"
#include "common/MessageBox.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"
#include "frame/Title.h"
#include "imaging/YuvLut.h"
#include "record/RecordStatusDlg.h"

#include <QCloseEvent>
#include <QTimer>
#include <cstdlib>
#include <new>

using namespace ocu;

CMainFrame::CMainFrame()
    : m_pBmpInfo(new (m_BmpInfoBuf) BitmapInfo{}), m_Lut(IdentityLuts()), m_pSizeCheckTimer(new QTimer(this)),
      m_pCameraWatch(std::make_unique<CameraWatch>()), m_pCameraWatchTimer(new QTimer(this)) {
    setWindowTitle(QString::fromLatin1(kAppTitle));
    setWindowIcon(AppIcon());
    connect(m_pCameraWatchTimer, &QTimer::timeout, this, &CMainFrame::OnCameraWatchTick);
    m_pSizeCheckTimer->setSingleShot(true);
    m_pSizeCheckTimer->setInterval(kSizeCheckDelayMs);
    connect(m_pSizeCheckTimer, &QTimer::timeout, this, &CMainFrame::AdoptGrantedSize);
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

    const char* environment = std::getenv("OCUSNAP_CAMERA");
    OpenCamera(
        StartCameraId(m_strCommandLineCamera, environment != nullptr && *environment != '\0', m_strCameraId),
        !m_bLayoutStored);
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
    m_bClosing = true;
    // A recording's files are complete before the program goes.
    FinishRecording(true);
    if (m_bSnapping)
        ExecuteCommand(kIdContinuousSnap);
    SaveSettings();
    if (m_hDevice != nullptr) {
        EndOcuDevice(m_hDevice);
        m_hDevice = nullptr;
    }
    event->accept();
}

void CMainFrame::customEvent(QEvent* event) {
    if (event->type() == FrameReadyEvent::EventType())
        OnFrameReady(*static_cast<FrameReadyEvent*>(event));
    else
        QMainWindow::customEvent(event);
}

void CMainFrame::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    RefreshTitle();
}

void CMainFrame::RefreshTitle() {
    if (m_bWaitingForFrame)
        setWindowTitle(
            WaitingTitle(m_strDeviceName, m_rcRegion.Width(), m_rcRegion.Height(), m_nSnapMode == 1));
    else
        setWindowTitle(ViewerTitle(m_strDeviceName, m_rcRegion.Width(), m_rcRegion.Height()));
}

void CMainFrame::OnGoToWebsite() {
    OpenWebsite();
}

void CMainFrame::OnContactSupport() {
    OpenSupportMail();
}
