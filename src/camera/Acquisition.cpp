// The frame's acquisition commands: continuous and single snaps and the snap mode.
#include "camera/TickCount.h"
#include "frame/MainFrame.h"

using namespace ocu;

int32_t CMainFrame::SnapCallback(SnapInfo* /*pInfo*/) {
    // Frames reach the window through the hand-over to the user-interface thread, which the live view
    // adds; until then delivered frames are dropped here.
    return 1;
}

void CMainFrame::OnContinuousSnap() {
    if (m_bSnapping) {
        OcuCloseSnap(m_hDevice);
        m_bSnapping = 0;
        // The repaint puts back the title without the frame rate.
        update();
        return;
    }
    if (!m_pImageBuffer || !m_pRawBuffer)
        return;

    OCUSTATUS status = OcuOpenSnap(m_hDevice, &CMainFrame::SnapCallback, this);
    if (status != OCU_OK) {
        ShowDriverError(status);
        return;
    }
    uint8_t* const buffers[1] = {m_pRawBuffer.get()};
    status = OcuStartSnap(m_hDevice, buffers, 1);
    if (status != OCU_OK) {
        // Never leave a capture open behind a failed start.
        OcuCloseSnap(m_hDevice);
        ShowDriverError(status);
        return;
    }
    m_bSnapping = 1;
    m_dwStartTick = TickCount();
    m_nFrameCount = 0;
}

void CMainFrame::OnSingleSnap() {
    // Without buffers (the camera never opened) there is nothing to take a frame into.
    if (!m_pRawBuffer || !m_pImageBuffer)
        return;
    uint8_t* const buffers[1] = {m_pRawBuffer.get()};
    const OCUSTATUS status = OcuSnapShot(m_hDevice, buffers, 1);
    if (status != OCU_OK) {
        ShowDriverError(status);
        return;
    }
    DrawImage();
}

void CMainFrame::OnSnapMode(int mode) {
    // A refused mode leaves the menu as it was.
    if (m_hDevice != nullptr && OcuSetSnapMode(m_hDevice, mode) == OCU_OK)
        m_nSnapMode = mode;
}
