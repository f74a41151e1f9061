// The viewer's command line: Qt's standard options, --help, --version and an optional image file.
#pragma once

#include <QString>
#include <QStringList>

namespace ocu {

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QStringList files; // the image file to show, as File > Open shows it; at most one
    QString camera;    // --camera: the camera to open, as the driver names it (empty: none given)
    QString error;     // one line, when the command line cannot be carried out
    QString usage;     // the text --help prints
    QString platform;  // Qt's -platform and -display, when given
    QString display;
};

// arguments[0] is the program. Qt's own options (-platform, -display, -style, ...) are accepted and left to
// the application object, which reads them itself.
CommandLine ParseCommandLine(const QStringList& arguments);

} // namespace ocu
