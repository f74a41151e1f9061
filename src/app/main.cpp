#include "OcuVersion.h"
#include "app/AppIcon.h"
#include "app/CommandLine.h"
#include "app/DisplayStart.h"
#include "app/OcuViewerApp.h"
#include "app/QuitSignals.h"
#include "common/AppTitle.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <optional>

// The one application object, as the rest of the viewer finds it through COcuViewerApp::Current().
COcuViewerApp theApp;

namespace {

void SetApplicationNames() {
    // Also the window class that the launcher's StartupWMClass names.
    QCoreApplication::setApplicationName(QString::fromLatin1(ocu::kAppTitle));
    QCoreApplication::setApplicationVersion(QStringLiteral(OCU_VERSION));
}

} // namespace

int main(int argc, char* argv[]) {
    // A display that goes away closes the connection to it under a write; the write must fail, so that Qt
    // sees the broken connection and ends the program, rather than the signal killing it.
    std::signal(SIGPIPE, SIG_IGN);

    // Read before a display is opened, so that --help and --version answer without one.
    ocu::CommandLine commandLine;
    {
        const QCoreApplication reader(argc, argv);
        SetApplicationNames();
        commandLine = ocu::ParseCommandLine(QCoreApplication::arguments());
    }
    switch (commandLine.action) {
    case ocu::CommandLine::Action::Help:
        std::fputs(qPrintable(commandLine.usage), stdout);
        return 0;
    case ocu::CommandLine::Action::Version:
        std::printf("ocuviewer %s\n", OCU_VERSION);
        return 0;
    case ocu::CommandLine::Action::Error:
        std::fprintf(stderr, "ocuviewer: %s\n%s", qPrintable(commandLine.error),
                     qPrintable(commandLine.usage));
        return 2;
    case ocu::CommandLine::Action::Run:
        break;
    }

    // Without a display Qt would abort with advice about reinstalling; one line and status 1 instead.
    std::optional<ocu::DisplayStartGuard> displayStart;
    displayStart.emplace(
        commandLine.platform.isEmpty() ? qEnvironmentVariable("QT_QPA_PLATFORM") : commandLine.platform,
        commandLine.display.isEmpty() ? qEnvironmentVariable("DISPLAY") : commandLine.display);
    QApplication qtApp(argc, argv);
    displayStart.reset();
    SetApplicationNames();
    // The desktop matches the windows to the launcher by this name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(ocu::kDesktopId));
    QApplication::setWindowIcon(ocu::AppIcon());

    theApp.SetCommandLineCamera(commandLine.camera.toStdString());
    if (!theApp.InitInstance(commandLine.files)) {
        theApp.ExitInstance();
        return 1;
    }
    // Only now: a frame closed before the event loop runs would leave the loop nothing to end it.
    const ocu::QuitSignals quitSignals([] { theApp.OnEndRequest(); });
    const int loopResult = QApplication::exec();
    const int exitCode = theApp.ExitInstance();
    return loopResult != 0 ? loopResult : exitCode;
}
