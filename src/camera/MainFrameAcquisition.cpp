// The frame's acquisition: continuous and single snaps, the snap mode, and the frames the camera delivers.
#include "OcuRecord.h"
#include "camera/CameraWatch.h"
#include "camera/FrameHandOver.h"
#include "camera/FrameRate.h"
#include "camera/TickCount.h"
#include "common/MessageBox.h"
#include "display/OcuViewerView.h"
#include "frame/MainFrame.h"
#include "frame/Title.h"

#include <QTimer>
#include <chrono>

using namespace ocu;
using namespace std::chrono_literals;

namespace {

// How long a start may go without a frame before the frame shows that it waits.
constexpr auto kFirstFrameWait = 500ms;
// How often the running picture's camera is watched for having gone away.
constexpr auto kCameraWatchTick = 250ms;

} // namespace

int32_t CMainFrame::SnapCallback(SnapInfo* pInfo) {
    if (pInfo != nullptr)
        FrameHandOver::Instance().Deliver(*pInfo);
    return 1;
}

void CMainFrame::OnFrameReady(const FrameReadyEvent& frame) {
    // Frames still on their way when the capture stopped, or cut for an output window that has changed
    // since, are passed by: the raw buffer does not hold what the region describes.
    if (!m_bSnapping || frame.Capture() != m_pCaptureToken || frame.Width() != m_rcOutputWindow.Width() ||
        frame.Height() != m_rcOutputWindow.Height())
        return;
    m_bFrameSinceStart = true;
    m_pCameraWatch->Frame(frame.HostTimeUs());
    ShowWaitingForFrame(false);
    // A recording takes the raw frame before the pipeline corrects it in place, the display image once it
    // is drawn, and only when it changed. A window shrunk to its menu bar reads out no row: its frames
    // hold nothing to record, nor to count as dropped.
    const bool recording = IsRecording() && frame.Width() > 0 && frame.Height() > 0;
    if (recording && m_bRecordsRaw)
        RecordFrame(frame);
    const bool drawn = DrawImage();
    if (recording && !m_bRecordsRaw && drawn)
        RecordFrame(frame);
    ++m_nFrameCount;
    const float rate = FrameRate(m_nFrameCount, m_dwStartTick, TickCount());
    const BitmapInfoHeader& header = m_pBmpInfo->bmiHeader;
    setWindowTitle(ViewerTitle(m_strDeviceName, header.biWidth, header.biHeight, static_cast<double>(rate)));
}

OCUSTATUS CMainFrame::StopLivePicture() {
    // No live picture, no recording: what it took is still written.
    StopRecording();
    m_pCameraWatchTimer->stop();
    const OCUSTATUS closed = OcuCloseSnap(m_hDevice);
    FrameHandOver::Instance().Disconnect(this);
    m_pCaptureToken = nullptr;
    m_bSnapping = 0;
    ShowWaitingForFrame(false);
    // The repaint puts back the title without the frame rate, and the view, whose own repaints drew
    // nothing while frames arrived, shows the last image again.
    update();
    if (m_pView != nullptr)
        m_pView->update();
    return closed;
}

void CMainFrame::OnCameraWatchTick() {
    // Frames only stop coming: a camera lost meanwhile is noticed by asking it. A recording ends first, with
    // its files complete, and its end stops the picture; else the picture stops here, rather than stand
    // frozen under the last frame rate, and says why.
    if (!m_bSnapping || !m_pCameraWatch->Lost(m_hDevice, m_nSnapMode, ocurecord::MonotonicMicroseconds()))
        return;
    if (IsRecording()) {
        m_pRecorder->End(ocurecord::Outcome::CameraFailed, OcuGetErrorString(OCU_ERR_CAMERA_LOST));
        return;
    }
    StopLivePicture();
    ShowDriverError(OCU_ERR_CAMERA_LOST);
}

void CMainFrame::OnContinuousSnap() {
    if (m_bSnapping) {
        // A picture that had stopped because the camera went away: the user who stops it learns why at
        // once, not at the next start. Closing the window says nothing: the user is leaving.
        const OCUSTATUS closed = StopLivePicture();
        if (closed == OCU_ERR_CAMERA_LOST && !m_bClosing)
            ShowDriverError(closed);
        return;
    }
    if (!m_pImageBuffer || !m_pRawBuffer) {
        if (m_hDevice == nullptr)
            ReportNoCamera();
        return;
    }

    void* const capture = FrameHandOver::Instance().Connect(this);
    OCUSTATUS status = OcuOpenSnap(m_hDevice, &CMainFrame::SnapCallback, capture);
    if (status != OCU_OK) {
        FrameHandOver::Instance().Disconnect(this);
        ShowDriverError(status);
        return;
    }
    status = OcuStartSnap(m_hDevice, RawBufferList().data(), 1);
    if (status != OCU_OK) {
        // Never leave a capture open behind a failed start.
        OcuCloseSnap(m_hDevice);
        FrameHandOver::Instance().Disconnect(this);
        ShowDriverError(status);
        return;
    }
    m_pCaptureToken = capture;
    m_bSnapping = 1;
    m_pCameraWatch->Start(ocurecord::MonotonicMicroseconds());
    m_pCameraWatchTimer->start(kCameraWatchTick);
    m_dwStartTick = TickCount();
    m_nFrameCount = 0;
    // A first frame normally comes within a frame time; one that takes longer (a large sensor, a long
    // exposure, a trigger that has not come) is waited for visibly, so that the window is not simply blank.
    m_bFrameSinceStart = false;
    QTimer::singleShot(kFirstFrameWait, this, [this, start = ++m_nSnapStarts] {
        if (start == m_nSnapStarts && m_bSnapping && !m_bFrameSinceStart)
            ShowWaitingForFrame(true);
    });
}

void CMainFrame::ShowWaitingForFrame(bool waiting) {
    if (waiting == m_bWaitingForFrame)
        return;
    m_bWaitingForFrame = waiting;
    // The menus stay usable meanwhile: the cursor that says "working in the background".
    if (waiting)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
    RefreshTitle();
}

void CMainFrame::CloseCaptureForDestruction() {
    FrameHandOver::Instance().Disconnect(this);
    // Without a close the driver would go on writing into the buffers the destructor frees. The device
    // itself stays as it is: only the close sequence ends it.
    if (m_bSnapping && m_hDevice != nullptr)
        OcuCloseSnap(m_hDevice);
    m_bSnapping = 0;
}

void CMainFrame::OnSingleSnap() {
    // Without buffers (the camera never opened) there is nothing to take a frame into.
    if (!m_pRawBuffer || !m_pImageBuffer) {
        if (m_hDevice == nullptr)
            ReportNoCamera();
        return;
    }
    const OCUSTATUS status = OcuSnapShot(m_hDevice, RawBufferList().data(), 1);
    if (status != OCU_OK) {
        ShowDriverError(status);
        return;
    }
    DrawImage();
}

void CMainFrame::ReportNoCamera() const {
    // A snap command that did nothing would leave the user guessing: the box repeats why the camera did
    // not open (the start-up's box said it once, perhaps long ago) and names the way to another.
    const OCUSTATUS why = m_nOpenStatus != OCU_OK ? m_nOpenStatus : OCU_ERR_NO_CAMERA;
    ShowWarning(QString::fromUtf8(OcuGetErrorString(why)) +
                    QStringLiteral("\n\nOptions > Camera... chooses a camera and opens it."),
                QStringLiteral("Error message"));
}

void CMainFrame::OnSnapMode(int mode) {
    // A refused mode leaves the menu as it was.
    if (m_hDevice != nullptr && OcuSetSnapMode(m_hDevice, mode) == OCU_OK)
        m_nSnapMode = mode;
}
