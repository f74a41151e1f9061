// COcuViewerApp: the process around the main frame. It guards against a second instance, creates the
// empty document and the main frame, and serves the framework's application commands.
#pragma once

#include "common/FileHandles.h"

#include <QStringList>
#include <memory>
#include <string>

class CMainFrame;
class COcuViewerDoc;
class QPrinter;

class COcuViewerApp {
public:
    COcuViewerApp();
    ~COcuViewerApp();
    COcuViewerApp(const COcuViewerApp&) = delete;
    COcuViewerApp& operator=(const COcuViewerApp&) = delete;

    // The one application object of the process, or null.
    static COcuViewerApp* Current();

    // Start-up, before the event loop: false when the viewer must not run (another instance runs, or the
    // frame could not be created). files are the image files the command line named; the first is shown
    // once the camera is set up, and one that cannot be shown is reported without failing the start.
    bool InitInstance(const QStringList& files);
    // The camera the command line names (--camera), for the frame to open; before InitInstance.
    void SetCommandLineCamera(const std::string& id) { m_strCommandLineCamera = id; }
    // After the event loop, and after a failed start-up: destroys the frame if it still exists and closes
    // the guard. Returns the exit code.
    int ExitInstance();

    CMainFrame* MainFrame() const { return m_pMainWnd.get(); }
    COcuViewerDoc* Document() const { return m_pDocument.get(); }
    // The printer that Print Setup configures and printing uses.
    QPrinter& Printer();

    // A request from outside to end the viewer (QuitSignals): it ends as File > Exit ends it.
    void OnEndRequest();

    void OnAppAbout();
    void OnFileNew();
    void OnFileOpen();
    void OnFilePrintSetup();

    ocu::UniqueFd m_hMutex; // the single-instance lock, held for the life of the process

private:
    // Creates the empty document's frame.
    bool ProcessShellCommand();

    std::unique_ptr<COcuViewerDoc> m_pDocument;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    std::unique_ptr<QPrinter> m_pPrinter;
    std::string m_strCommandLineCamera;
};
