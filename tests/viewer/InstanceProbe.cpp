// A viewer process for the single-instance tests: it starts the application object as the program does,
// with message boxes written to stdout instead of shown.
//   output "box <caption>|<text>|<icon>" for each box, then "started" when start-up succeeded;
//   with --hold it then runs until killed, otherwise it closes the window and exits 0; a refused start
//   exits 1.
#include "app/OcuViewerApp.h"
#include "common/MessageBox.h"
#include "frame/MainFrame.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    const bool hold = QApplication::arguments().contains(QStringLiteral("--hold"));
    ocu::SetMessageBoxHandler([](const ocu::MessageBoxRequest& box) {
        std::printf("box %s|%s|%s\n", box.caption.toUtf8().constData(), box.text.toUtf8().constData(),
                    box.icon == QMessageBox::Warning ? "warning" : "other");
        std::fflush(stdout);
        return QMessageBox::Ok;
    });

    COcuViewerApp app;
    if (!app.InitInstance({})) {
        app.ExitInstance();
        return 1;
    }
    std::printf("started\n");
    std::fflush(stdout);
    if (hold)
        return QApplication::exec();
    app.MainFrame()->close();
    return app.ExitInstance();
}
