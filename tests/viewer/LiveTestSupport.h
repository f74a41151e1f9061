// Helpers for the tests of the live view: the frame pipeline, the display and the acquisition loop.
#pragma once

#include "TestSupport.h"
#include "WindowTestSupport.h"
#include "frame/MainFrame.h"

#include <QEvent>
#include <QPoint>
#include <QSize>
#include <QString>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

class QWidget;

namespace ocu::test {

// Processes events until `done` holds or timeoutMs have passed; returns done().
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000);

// Gives the view width x height, starts the live picture and waits for `frames` frames; false when they
// do not come.
bool StartLive(CMainFrame& frame, int width, int height, int frames);

// A mouse event sent to a widget at a point; a move carries the buttons held.
void Mouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButtons buttons = Qt::NoButton);
// A drag of the left mouse button over a widget, from one point to another (a click when they are equal).
void Drag(QWidget* widget, QPoint from, QPoint to);

// A pixel of the display image, addressed in the upright picture (row 0 at the top).
struct Bgr {
    int b = 0;
    int g = 0;
    int r = 0;
};
Bgr DisplayPixel(const CMainFrame& frame, int x, int y);
// The gray level at (x, y) of an 8-bit display image, upright.
int DisplayGray(const CMainFrame& frame, int x, int y);

// The display buffer as the frame holds it: three bytes a pixel of the bitmap's size, bottom row first.
std::vector<uint8_t> DisplayBytes(const CMainFrame& frame);

// The title while frames arrive, taken apart: width, height and rate, or nothing when it has no rate.
struct RateTitle {
    int width = 0;
    int height = 0;
    double rate = 0;
};
std::optional<RateTitle> ParseRateTitle(const QString& title);
// The size in the title while frames arrive, or (0, 0) when it carries no frame rate.
QSize LiveTitleSize(const QString& title);

// Gives a frame that never opened a camera buffers and a region of width x height, as the device set-up
// and the window would, so that the pipeline can be run on frames written by the test.
void GiveBuffers(CMainFrame& frame, int width, int height);

// The simulated camera with exact, still frames delivered as fast as they can be rendered, in the given
// Bayer layout. The driver reads this when the viewer opens the camera.
class ExactSimCamera {
public:
    explicit ExactSimCamera(const char* bayer = "GRBG");

private:
    ScopedEnv m_camera{"OCUSNAP_CAMERA", std::string("sim")};
    ScopedEnv m_noise{"OCUSNAP_SIM_NOISE", std::string("0")};
    ScopedEnv m_freeze{"OCUSNAP_SIM_FREEZE", std::string("1")};
    ScopedEnv m_fps{"OCUSNAP_SIM_FPS", std::string("max")};
    ScopedEnv m_bayer;
};

// A test of the viewer on the simulated camera, with no settings file before or after it. The gray table is
// looked for in a temporary folder.
class SimViewerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    TempDir lutFolder;
};

} // namespace ocu::test
