// The frame's recording: the Record dialog, the frames it hands the recording library, the status window,
// and the end of a recording however it comes.
#include "camera/DeviceInfo.h"
#include "camera/FrameHandOver.h"
#include "common/MessageBox.h"
#include "frame/MainFrame.h"
#include "record/RecordDlg.h"
#include "record/RecordStatusDlg.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>
#include <ctime>

using namespace ocu;

namespace {

constexpr int kRecordTickMs = 250;

// Where a first recording goes: the user's videos folder, or the home folder without one.
std::string DefaultRecordFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    return QFile::encodeName(folder).toStdString();
}

std::string StemOfNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return DefaultRecordStem(local);
}

} // namespace

void CMainFrame::OnRecord() {
    if (IsRecording()) {
        if (m_pRecordStatus) {
            m_pRecordStatus->show();
            m_pRecordStatus->raise();
            m_pRecordStatus->activateWindow();
        }
        return;
    }
    if (!m_pRawBuffer || !m_pImageBuffer)
        return;
    RecordChoice choice = m_recordChoice;
    if (choice.folder.empty())
        choice.folder = DefaultRecordFolder();
    // A new name every time: a recording never replaces another.
    choice.stem = StemOfNow();
    CRecordDlg dialog(this, choice, [this](const RecordChoice& chosen) { return StartRecording(chosen); });
    dialog.exec();
}

bool CMainFrame::StartRecording(const RecordChoice& choice) {
    if (IsRecording() || !m_pRawBuffer || !m_pImageBuffer)
        return false;
    // Frames of every mode and window the camera can give fit the recording's slots.
    std::vector<ResolutionEntry> modes;
    if (!QueryResolutionTable(m_hDevice, modes)) {
        ShowWarning(
            QStringLiteral("The camera does not tell the size of its images: there is nothing to record."));
        return false;
    }
    const ocurecord::Options options =
        RecordOptionsFor(choice, modes[0].nWidth, modes[0].nHeight, m_nBayerLayout);
    std::string error;
    std::unique_ptr<ocurecord::Recorder> recorder = ocurecord::Recorder::Open(options, error);
    if (!recorder) {
        ShowWarning(QString::fromStdString(error));
        return false;
    }
    if (!m_bSnapping) {
        // Recording runs on the live picture; a start that fails has said why, and the recording, which has
        // no frame, leaves no file.
        OnContinuousSnap();
        if (!m_bSnapping)
            return false;
    }
    m_recordChoice = choice;
    m_pRecorder = std::move(recorder);
    m_bRecordsRaw = ocurecord::RecordsRawMosaic(options.target.format);

    const QString target = QFile::decodeName(choice.folder.c_str()) + QStringLiteral("\n") +
                           QString::fromStdString(RecordFilesText(choice));
    m_pRecordStatus =
        std::make_unique<CRecordStatusDlg>(this, target, options.memoryCap, [this] { StopRecording(); });
    m_pRecordStatus->Show(m_pRecorder->GetProgress());
    m_pRecordStatus->show();
    if (!m_pRecordTimer) {
        m_pRecordTimer = new QTimer(this);
        connect(m_pRecordTimer, &QTimer::timeout, this, &CMainFrame::OnRecordTick);
    }
    m_pRecordTimer->start(kRecordTickMs);
    return true;
}

void CMainFrame::RecordFrame(const FrameReadyEvent& frame) {
    ocurecord::Frame out;
    out.cameraTimeUs = frame.CameraTimeUs();
    out.hostTimeUs = frame.HostTimeUs();
    if (m_bRecordsRaw) {
        out.pixels = m_pRawBuffer.get();
        out.width = frame.Width();
        out.height = frame.Height();
    } else {
        // The display buffer as the pipeline left it, never the painted view: what is drawn over the
        // picture for the eye stays out of the recording.
        const BitmapInfoHeader& header = m_pBmpInfo->bmiHeader;
        out.pixels = m_pImageBuffer.get();
        out.width = header.biWidth;
        out.height = header.biHeight;
        out.display = true;
        out.bitCount = header.biBitCount;
        if (header.biBitCount == 8)
            out.colourTable = reinterpret_cast<const uint8_t*>(m_pBmpInfo->bmiColors);
    }
    m_pRecorder->Submit(out);
}

void CMainFrame::StopRecording() {
    if (m_pRecorder)
        m_pRecorder->Stop();
}

void CMainFrame::OnRecordTick() {
    if (!m_pRecorder)
        return;
    const ocurecord::Progress progress = m_pRecorder->GetProgress();
    if (progress.state == ocurecord::State::Finished)
        FinishRecording(false);
    else if (m_pRecordStatus)
        m_pRecordStatus->Show(progress);
}

void CMainFrame::FinishRecording(bool wait) {
    if (m_pRecordTimer)
        m_pRecordTimer->stop();
    if (!m_pRecorder)
        return;
    m_pRecorder->Stop();
    if (!wait && !m_pRecorder->Finished())
        return;
    m_pRecorder->Wait();
    const ocurecord::Progress progress = m_pRecorder->GetProgress();
    m_pRecorder.reset();
    if (m_pRecordStatus)
        m_pRecordStatus->Show(progress);
    // A lost camera's picture stops with the recording, which says why.
    if (progress.outcome == ocurecord::Outcome::CameraFailed && m_bSnapping && !wait)
        StopLivePicture();
    // The status window may be out of sight: a recording that ended by a failure says so.
    const bool failed = progress.outcome == ocurecord::Outcome::DiskFull ||
                        progress.outcome == ocurecord::Outcome::WriteFailed ||
                        progress.outcome == ocurecord::Outcome::CameraFailed;
    if (failed && !wait)
        ShowWarning(QString::fromStdString(progress.message));
}
