#include "OcuVersion.h"
#include "app/AppIcon.h"
#include "app/OcuViewerApp.h"
#include "common/AppTitle.h"

#include <QApplication>

// The one application object, as the rest of the viewer finds it through COcuViewerApp::Current().
COcuViewerApp theApp;

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(ocu::kAppTitle));
    QApplication::setApplicationVersion(QStringLiteral(OCU_VERSION));
    QApplication::setWindowIcon(ocu::AppIcon());

    if (!theApp.InitInstance(QApplication::arguments().mid(1))) {
        theApp.ExitInstance();
        return 1;
    }
    const int loopResult = QApplication::exec();
    const int exitCode = theApp.ExitInstance();
    return loopResult != 0 ? loopResult : exitCode;
}
