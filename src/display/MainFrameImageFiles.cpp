// Opening and saving images: the File menu's Open and Save As, over the window-free file formats.
#include "camera/DeliveryPause.h"
#include "camera/DeviceInfo.h"
#include "common/FileDialog.h"
#include "common/MessageBox.h"
#include "display/ImageFiles.h"
#include "display/OcuViewerView.h"
#include "frame/MainFrame.h"
#include "imaging/FramePipeline.h"

#include <QFile>
#include <QFileInfo>
#include <optional>
#include <vector>

using namespace ocu;

namespace {

// Asks for the file; its path in the file system's encoding, or empty when the dialog was cancelled.
std::string AskForPath(CMainFrame& frame, bool save) {
    FileDialogRequest request;
    request.parent = &frame;
    request.save = save;
    request.filter = QStringLiteral("Bitmap Files(*.bmp);;JPEG Files(*.jpg);;Dax Raw Files(*.raw)");
    request.selectedFilter = QStringLiteral("Bitmap Files(*.bmp)");
    request.defaultSuffix = QStringLiteral("bmp");
    request.confirmOverwrite = true;
    return QFile::encodeName(ShowFileDialog(request)).toStdString();
}

// What the frame's buffers hold: the device set-up sized them for the camera's mode 0. Nothing without
// both buffers.
std::optional<ImageLimits> BufferLimits(const CMainFrame& frame) {
    std::vector<ResolutionEntry> table;
    if (!frame.m_pImageBuffer || !frame.m_pRawBuffer || frame.m_hDevice == nullptr ||
        !QueryResolutionTable(frame.m_hDevice, table))
        return std::nullopt;
    return LimitsForSensor(table[0].nWidth, table[0].nHeight);
}

} // namespace

void CMainFrame::OnFileOpenImage() {
    const std::string path = AskForPath(*this, false);
    if (!path.empty())
        OpenImageFile(QFile::decodeName(path.c_str()));
}

void CMainFrame::OpenImageFile(const QString& file) {
    // Said when the file cannot be shown: the picture staying as it was would be the only trace of it.
    std::string note = "without a camera there are no image buffers to show it in";
    if (const std::optional<ImageLimits> limits = BufferLimits(*this)) {
        if (ReadImageFile(QFile::encodeName(file).toStdString(), *limits, &note))
            return;
        if (!QFileInfo::exists(file))
            note = "there is no such file";
    }
    ShowWarning(QStringLiteral("Cannot open \"%1\": %2.").arg(file, QString::fromStdString(note)));
}

bool CMainFrame::ReadImageFile(const std::string& path, const ImageLimits& limits, std::string* note) {
    int read = 0;
    switch (GetOpenedFileKind(path)) {
    case kFileJpeg:
        read = ReadJpegFile(path, *m_pBmpInfo, m_pImageBuffer.get(), limits, note);
        if (read)
            OnImageMade(false);
        break;
    case kFileRaw: {
        const DeliveryPause pause(m_hDevice, m_bSnapping, m_pRawBuffer.get());
        read = ReadRawFile(path, *m_pBmpInfo, m_pRawBuffer.get(), limits, note);
        if (read) {
            // An opened frame is always converted, never dropped by the alternation of the slower types,
            // so that the image matches the header that now has its size.
            FrameToggle() = 1;
            ProcessFrame();
        }
        break;
    }
    default:
        read = ReadBmpFile(path, *m_pBmpInfo, m_pImageBuffer.get(), limits, note);
        if (read)
            OnImageMade(false);
        break;
    }
    // Whether or not the file was read: the view repaints what the buffer holds, the frame its title.
    update();
    if (m_pView != nullptr)
        m_pView->update();
    return read != 0;
}

void CMainFrame::OnFileSaveAs() {
    const std::string path = AskForPath(*this, true);
    if (path.empty())
        return;
    std::string note = "no image to save";
    int written = 0;
    if (const std::optional<ImageLimits> limits = BufferLimits(*this)) {
        switch (GetFileKind(path)) {
        case kFileJpeg:
            written = WriteJpegFile(path, *m_pBmpInfo, m_pImageBuffer.get(), limits->imageBytes, &note);
            break;
        case kFileRaw: {
            const DeliveryPause pause(m_hDevice, m_bSnapping, m_pRawBuffer.get());
            written = WriteRawFile(path, *m_pBmpInfo, m_pRawBuffer.get(), limits->rawBytes, &note);
            break;
        }
        default:
            written = WriteBmpFile(path, *m_pBmpInfo, m_pImageBuffer.get(), limits->imageBytes, &note);
            break;
        }
    }
    // The dialog closed as after any save: without a word the user would take the picture for saved.
    if (!written)
        ShowWarning(QStringLiteral("Cannot save \"%1\": %2.")
                        .arg(QFile::decodeName(path.c_str()), QString::fromStdString(note)));
}
