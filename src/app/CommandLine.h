// The viewer's command line: Qt's standard options, --help, --version and an optional document name.
#pragma once

#include <QString>
#include <QStringList>

namespace ocu {

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QStringList documents; // names given for the empty document; the first one is opened
    QString camera;        // --camera: the camera to open, as the driver names it (empty: none given)
    QString error;         // one line, when the command line cannot be carried out
    QString usage;         // the text --help prints
};

// arguments[0] is the program. Qt's own options (-platform, -display, -style, ...) are accepted and left to
// the application object, which reads them itself.
CommandLine ParseCommandLine(const QStringList& arguments);

} // namespace ocu
