#include "app/OcuViewerDoc.h"

#include "common/MessageBox.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// The document has no type of its own, so its file dialogs offer every file.
constexpr char kAllFilesFilter[] = "All Files (*)";

} // namespace

bool COcuViewerDoc::OnNewDocument() {
    m_strPathName.clear();
    m_strTitle = QStringLiteral("Untitled");
    return true;
}

bool COcuViewerDoc::OnOpenDocument(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    m_strPathName = path;
    m_strTitle = QFileInfo(path).fileName();
    return true;
}

bool COcuViewerDoc::OnSaveDocument(const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.commit())
        return false;
    m_strPathName = path;
    m_strTitle = QFileInfo(path).fileName();
    return true;
}

void COcuViewerDoc::OnFileSave(QWidget* owner) {
    QString path = m_strPathName;
    if (path.isEmpty()) {
        path = QFileDialog::getSaveFileName(owner, QStringLiteral("Save As"), m_strTitle,
                                            QString::fromLatin1(kAllFilesFilter));
        if (path.isEmpty())
            return;
    }
    if (OnSaveDocument(path))
        return;
    ocu::ShowWarning(QStringLiteral("Failed to save document."));
}
