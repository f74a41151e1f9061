// Connecting to the display. Qt ends a program whose platform plugin cannot start (no display, an X server
// that does not answer) with a fatal message and abort(), after several lines of advice about reinstalling;
// the viewer instead says in one line which display it could not reach and exits with status 1.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <vector>

namespace ocu {

// The line, without the program's name, for a platform that did not start. platform and display are the
// ones the command line or the environment chose (empty: Qt's default platform, DISPLAY unset);
// qtMessages what Qt said while it tried.
QString DisplayFailureText(const QString& platform, const QString& display, const QStringList& qtMessages);

// Held around the construction of the application object. Meanwhile Qt's messages are held back: a fatal
// one (the platform could not start) prints "ocuviewer: " and the line above to standard error and ends
// the process with status 1. Once the display is open, destroying the guard hands the held messages to
// the handler that was there before, so that nothing Qt says on a good start is lost.
class DisplayStartGuard {
public:
    DisplayStartGuard(QString platform, QString display);
    ~DisplayStartGuard();
    DisplayStartGuard(const DisplayStartGuard&) = delete;
    DisplayStartGuard& operator=(const DisplayStartGuard&) = delete;

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message);

    struct Held {
        QtMsgType type;
        const char* file; // the context's texts are Qt's own literals
        int line;
        const char* function;
        const char* category;
        QString message;
    };
    QString m_platform;
    QString m_display;
    std::vector<Held> m_held;
    QtMessageHandler m_previous = nullptr;
};

} // namespace ocu
