// The open and save file dialogs of the viewer. Every dialog goes through ShowFileDialog, so that tests,
// which have no one to pick a file, can answer instead, and see how the dialog was set up.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace ocu {

struct FileDialogRequest {
    QWidget* parent = nullptr;
    bool save = false;            // a save dialog (else an open dialog)
    QString filter;               // Qt's filter syntax, entries separated by ";;"
    QString selectedFilter;       // the entry selected at first
    QString defaultSuffix;        // appended to a name typed without an extension
    bool confirmOverwrite = true; // a save dialog asks before an existing file is replaced
    bool folder = false;          // chooses an existing folder rather than a file
    QString directory;            // the folder it opens in; empty: the dialog's own choice
};

// Runs the dialog modally; the chosen file's full path, or an empty text when it was cancelled.
QString ShowFileDialog(const FileDialogRequest& request);

using FileDialogHandler = std::function<QString(const FileDialogRequest&)>;

// Replaces the dialog with handler (an empty handler brings the dialog back); returns the previous one.
FileDialogHandler SetFileDialogHandler(FileDialogHandler handler);

} // namespace ocu
