#include "WindowTestSupport.h"

#include "TestSupport.h"
#include "display/OcuViewerView.h"
#include "frame/Settings.h"

#include <QApplication>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace ocu::test {

void FailOnUnexpectedMessageBoxes() {
    SetMessageBoxHandler([](const MessageBoxRequest& box) {
        ADD_FAILURE() << "unexpected message box \"" << box.caption.toStdString()
                      << "\": " << box.text.toStdString();
        return QMessageBox::Ok;
    });
}

MessageBoxRecorder::MessageBoxRecorder(QMessageBox::StandardButton answer) {
    m_previous = SetMessageBoxHandler([this, answer](const MessageBoxRequest& box) {
        m_boxes.push_back(box);
        return answer;
    });
}

MessageBoxRecorder::~MessageBoxRecorder() {
    SetMessageBoxHandler(std::move(m_previous));
}

void ExpectOneWarning(const MessageBoxRecorder& boxes, const QString& text) {
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, text);
    EXPECT_EQ(boxes.Boxes()[0].caption, "OcuViewer");
    EXPECT_EQ(boxes.Boxes()[0].icon, QMessageBox::Warning);
}

std::string SettingsPath() {
    return SettingsFilePath();
}

void RemoveSettings() {
    std::error_code ignored;
    std::filesystem::remove(SettingsPath(), ignored);
}

void WriteSettingsFile(const std::string& text) {
    WriteText(SettingsPath(), text);
}

RunningViewer::RunningViewer(const QStringList& arguments, const std::string& camera)
    : m_app(std::make_unique<COcuViewerApp>()) {
    m_app->SetCommandLineCamera(camera);
    m_started = m_app->InitInstance(arguments);
    ProcessEvents();
}

RunningViewer::~RunningViewer() {
    m_app->ExitInstance();
}

void ProcessEvents() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

QString TitleAfterPaint(CMainFrame& frame) {
    frame.repaint();
    return frame.windowTitle();
}

void ResizeClient(CMainFrame& frame, int width, int height) {
    const COcuViewerView* view = frame.GetActiveView();
    frame.resize(width + frame.width() - view->width(), height + frame.height() - view->height());
    ProcessEvents();
}

std::vector<std::string> CallsFrom(const std::vector<std::string>& calls, const std::string& from) {
    const auto it = std::find_if(calls.begin(), calls.end(),
                                 [&](const std::string& call) { return call.rfind(from, 0) == 0; });
    return std::vector<std::string>(it, calls.end());
}

std::string FirstCall(const std::vector<std::string>& calls, const std::string& prefix) {
    const std::vector<std::string> from = CallsFrom(calls, prefix);
    return from.empty() ? std::string() : from.front();
}

} // namespace ocu::test

void ocu::PrintTo(const Rect& rect, std::ostream* os) {
    *os << "(" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << ")";
}

void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

void PrintTo(const QSize& size, std::ostream* os) {
    *os << size.width() << " x " << size.height();
}
