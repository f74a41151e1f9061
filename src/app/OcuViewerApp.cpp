#include "app/OcuViewerApp.h"

#include "app/AboutDlg.h"
#include "app/OcuViewerDoc.h"
#include "app/SingleInstanceGuard.h"
#include "common/MessageBox.h"
#include "frame/MainFrame.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QTimer>

namespace {

COcuViewerApp* s_pApp = nullptr;

} // namespace

COcuViewerApp::COcuViewerApp() {
    s_pApp = this;
}

COcuViewerApp::~COcuViewerApp() {
    if (s_pApp == this)
        s_pApp = nullptr;
    // Windows still here mean that the process is ending through exit() without leaving main(), as Qt
    // ends it when the display goes away: the one application object is destroyed among the static
    // objects then, after Qt's own, and destroying a window would touch what is already gone. The process
    // ends with them; like a log-off, this writes no settings.
    if (m_pMainWnd || m_pPrinter) {
        (void)m_pMainWnd.release();
        (void)m_pPrinter.release();
        (void)m_pDocument.release();
    }
}

COcuViewerApp* COcuViewerApp::Current() {
    return s_pApp;
}

bool COcuViewerApp::InitInstance(const QStringList& files) {
    if (ocu::AcquireInstanceLock(ocu::InstanceLockPath(), m_hMutex) == ocu::GuardResult::AlreadyRunning) {
        ocu::ShowWarning(QStringLiteral("The program is running!"));
        return false;
    }

    m_pDocument = std::make_unique<COcuViewerDoc>();
    if (!ProcessShellCommand())
        return false;

    m_pMainWnd->show();
    m_pMainWnd->repaint();

    m_pMainWnd->MeasureFrameBorders();
    m_pMainWnd->ReapplyWindowRect();
    // A file given by the launcher or the shell is a picture to look at: shown into the buffers that the
    // camera's set-up sized, in the window that now has its size.
    if (!files.isEmpty())
        m_pMainWnd->OpenImageFile(files.front());
    return true;
}

bool COcuViewerApp::ProcessShellCommand() {
    m_pMainWnd = std::make_unique<CMainFrame>();
    m_pMainWnd->SetCommandLineCamera(m_strCommandLineCamera);
    if (m_pMainWnd->OnCreate() != 0)
        return false;
    return m_pDocument->OnNewDocument();
}

int COcuViewerApp::ExitInstance() {
    m_pMainWnd.reset();
    m_pPrinter.reset();
    m_hMutex.reset();
    return 0;
}

QPrinter& COcuViewerApp::Printer() {
    if (!m_pPrinter)
        m_pPrinter = std::make_unique<QPrinter>();
    return *m_pPrinter;
}

void COcuViewerApp::OnEndRequest() {
    // The frame cannot close under a modal dialog: the dialog's own loop runs inside a handler of the
    // frame, which carries on with the dialog's result once it returns. The dialog is cancelled, as its
    // Cancel button would, and the frame closed after that handler has finished.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        constexpr int kRetryMs = 50;
        QTimer::singleShot(kRetryMs, [] {
            if (COcuViewerApp* app = Current())
                app->OnEndRequest();
        });
        return;
    }
    if (m_pMainWnd)
        m_pMainWnd->close();
}

void COcuViewerApp::OnAppAbout() {
    CAboutDlg dlg(m_pMainWnd.get());
    dlg.exec();
}

void COcuViewerApp::OnFileNew() {
    m_pDocument->OnNewDocument();
}

void COcuViewerApp::OnFileOpen() {
    const QString path = QFileDialog::getOpenFileName(m_pMainWnd.get(), QStringLiteral("Open"), QString(),
                                                      QStringLiteral("All Files (*)"));
    if (path.isEmpty())
        return;
    if (!m_pDocument->OnOpenDocument(path))
        ocu::ShowWarning(QStringLiteral("Failed to open document."));
}

void COcuViewerApp::OnFilePrintSetup() {
    QPageSetupDialog dlg(&Printer(), m_pMainWnd.get());
    dlg.exec();
}
