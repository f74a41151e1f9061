// The frame's camera: opening the one chosen (at creation and from Options > Camera...), and switching
// to another while the viewer runs.
#include "camera/CameraChoice.h"
#include "camera/CameraWatch.h"
#include "camera/DeviceInfo.h"
#include "common/MessageBox.h"
#include "dialogs/CameraDlg.h"
#include "frame/CommandIds.h"
#include "frame/MainFrame.h"

#include <QApplication>
#include <QCursor>

using namespace ocu;

void CMainFrame::OpenCamera(const std::string& id, bool takeLayout) {
    m_strOpenCamera = id;
    m_strDeviceName.clear(); // a later model has no name of its own
    const OCUSTATUS status = BeginCamera(id, &m_hDevice);
    m_nOpenStatus = status;
    if (status != OCU_OK) {
        // The driver nulls the handle on failure; make sure nothing below talks to a device that is not open.
        m_hDevice = nullptr;
        ShowDriverError(status);
    } else {
        // The chooser marks, and does not open a second time, the camera that "aravis" or the driver's own
        // choice opened.
        if (std::string opened = OpenCameraId(m_hDevice); !opened.empty())
            m_strOpenCamera = std::move(opened);
        InitDevice();
    }

    int32_t type = 0;
    if (m_hDevice == nullptr || !QueryDeviceType(m_hDevice, type))
        m_strDeviceName = QStringLiteral("OcuDevice");
    else if (const char* model = OcuGetModelName(type))
        m_strDeviceName = QString::fromLatin1(model);

    // A camera that knows its colour filter tells it; a first run, or another camera, takes it.
    int32_t layout = OCU_BAYER_NONE;
    uint32_t size = sizeof layout;
    if (takeLayout && m_pRawBuffer &&
        OcuGetDeviceInfo(m_hDevice, OCU_INFO_BAYER_LAYOUT, &layout, &size) == OCU_OK &&
        layout >= OCU_BAYER_GBRG && layout <= OCU_BAYER_RGGB)
        m_nBayerLayout = layout;
}

void CMainFrame::SwitchCamera(const std::string& id) {
    const bool live = m_bSnapping != 0;
    const bool hadImage = m_nWidth > 0 && m_nHeight > 0;
    if (live)
        ExecuteCommand(kIdContinuousSnap);
    if (m_hDevice != nullptr) {
        EndOcuDevice(m_hDevice);
        m_hDevice = nullptr;
    }
    // Nothing of the last camera is left: its buffers were sized for its sensor, and the picture shown
    // until the next frame is empty.
    m_pImageBuffer.reset();
    m_pRawBuffer.reset();
    m_pPatternNoise.reset();
    m_pBadPixels.reset();
    m_pBmpInfo->bmiHeader.biWidth = 0;
    m_pBmpInfo->bmiHeader.biHeight = 0;
    m_nWidth = 0;
    m_nHeight = 0;
    m_rcOutputWindow = Rect{};
    m_bSnapSpeedSupported = 0;
    m_bBlankingQuery = 0;

    OpenCamera(id, true);
    // A frame that had no picture (no camera opened) is as narrow as its menus and has no room below them:
    // it takes the new camera's whole image within the screen, as a window shown at start-up does (Qt gives
    // a new window at most two thirds of the screen). Otherwise the window keeps its size.
    if (!hadImage && m_nWidth > 0 && m_nHeight > 0) {
        UpdateSizeLimits();
        adjustSize();
    }
    // The window follows the new sensor, and the region, the output window and the exposure the window.
    ReapplyWindowRect();
    OnSize();
    if (live && m_hDevice != nullptr)
        ExecuteCommand(kIdContinuousSnap);
}

void CMainFrame::OnChooseCamera() {
    std::vector<CameraEntry> cameras;
    OCUSTATUS status = OCU_OK;
    {
        // A search of the network takes a second.
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        ListCameras(cameras, status);
        QApplication::restoreOverrideCursor();
    }
    if (status != OCU_OK) {
        ShowDriverError(status);
        return;
    }
    CCameraDlg dlg(cameras, m_strOpenCamera, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const std::string chosen = dlg.ChosenId();
    if (chosen.empty())
        return;
    m_strCameraId = chosen;
    // The camera in use, chosen again, is opened again only once it was lost: that is how it comes back
    // after it was reconnected.
    if (chosen != m_strOpenCamera || m_hDevice == nullptr || AskIfLost(m_hDevice, m_nSnapMode))
        SwitchCamera(chosen);
}
