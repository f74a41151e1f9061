// Helpers for the headless window tests.
#pragma once

#include "OcuSnapTesting.h"
#include "app/OcuViewerApp.h"
#include "common/MessageBox.h"
#include "frame/MainFrame.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace ocu::test {

// Any message box not answered by a MessageBoxRecorder fails the running test.
void FailOnUnexpectedMessageBoxes();

// Answers the message boxes shown while it exists and keeps what they said.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(QMessageBox::StandardButton answer = QMessageBox::Ok);
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    const std::vector<MessageBoxRequest>& Boxes() const { return m_boxes; }
    void Clear() { m_boxes.clear(); }

private:
    std::vector<MessageBoxRequest> m_boxes;
    MessageBoxHandler m_previous;
};

// Fails the test unless exactly one box was shown: the viewer's warning with `text`. Fatal when the
// count is wrong, so call it through ASSERT_NO_FATAL_FAILURE.
void ExpectOneWarning(const MessageBoxRecorder& boxes, const QString& text);

// The settings file the viewer reads and writes in the tests (under the temporary XDG_CONFIG_HOME).
std::string SettingsPath();
void RemoveSettings();
void WriteSettingsFile(const std::string& text);

// Starts the viewer as the program does, through the application object; the frame is shown, its
// borders measured and its window rectangle re-applied.
class RunningViewer {
public:
    // `camera`: what --camera names (empty: nothing).
    explicit RunningViewer(const QStringList& arguments = {}, const std::string& camera = {});
    ~RunningViewer();
    RunningViewer(const RunningViewer&) = delete;
    RunningViewer& operator=(const RunningViewer&) = delete;

    bool Started() const { return m_started; }
    COcuViewerApp& App() { return *m_app; }
    CMainFrame& Frame() { return *m_app->MainFrame(); }

private:
    std::unique_ptr<COcuViewerApp> m_app;
    bool m_started = false;
};

// A test of the viewer against the recording driver, with no settings file before or after it.
class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveSettings(); }
    void TearDown() override { RemoveSettings(); }

    ocusnap::testing::RecordingDriver driver;
};

// Lets posted events (layout, resize, paint) run.
void ProcessEvents();

// The title after a repaint of the frame.
QString TitleAfterPaint(CMainFrame& frame);

// Resizes the frame so that its view gets the given client size, as a user dragging the edge would ask.
void ResizeClient(CMainFrame& frame, int width, int height);

// Driver call texts from the first one that starts with `from` onwards (none when there is no such call).
std::vector<std::string> CallsFrom(const std::vector<std::string>& calls, const std::string& from);
// The first call that starts with `prefix`, or an empty text.
std::string FirstCall(const std::vector<std::string>& calls, const std::string& prefix);

} // namespace ocu::test

namespace ocu {
void PrintTo(const Rect& rect, std::ostream* os);
}
void PrintTo(const QString& text, std::ostream* os);
void PrintTo(const QSize& size, std::ostream* os);
