// COcuViewerDoc: the empty document the viewer's document commands work on. It carries no data: a
// document saved through them is an empty file, and opening one reads nothing.
#pragma once

#include <QString>

class QWidget;

class COcuViewerDoc {
public:
    // Re-initialises the document: untitled, no file.
    bool OnNewDocument();
    // Takes path as the document's file; false when the file cannot be read.
    bool OnOpenDocument(const QString& path);
    // Writes the (empty) document to path, replacing the file as a whole; false when that fails.
    bool OnSaveDocument(const QString& path);

    // Command 57603: saves to the document's file, asking for one first when it has none.
    void OnFileSave(QWidget* owner);

    const QString& GetPathName() const { return m_strPathName; }
    const QString& GetTitle() const { return m_strTitle; }

private:
    QString m_strPathName;
    QString m_strTitle = QStringLiteral("Untitled");
};
