#include "LiveTestSupport.h"

#include "frame/CommandIds.h"
#include "imaging/YuvLut.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QRegularExpression>
#include <algorithm>
#include <cstdlib>

namespace ocu::test {

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

Bgr DisplayPixel(const CMainFrame& frame, int x, int y) {
    const BitmapInfoHeader& h = frame.m_pBmpInfo->bmiHeader;
    const size_t row = static_cast<size_t>(h.biHeight - 1 - y);
    const uint8_t* p =
        frame.m_pImageBuffer.get() + (row * static_cast<size_t>(h.biWidth) + static_cast<size_t>(x)) * 3;
    return Bgr{p[0], p[1], p[2]};
}

int DisplayGray(const CMainFrame& frame, int x, int y) {
    const BitmapInfoHeader& h = frame.m_pBmpInfo->bmiHeader;
    const size_t row = static_cast<size_t>(h.biHeight - 1 - y);
    return frame.m_pImageBuffer[row * static_cast<size_t>(h.biWidth) + static_cast<size_t>(x)];
}

std::vector<uint8_t> DisplayBytes(const CMainFrame& frame) {
    const BitmapInfoHeader& h = frame.m_pBmpInfo->bmiHeader;
    const size_t bytes = static_cast<size_t>(h.biWidth) * static_cast<size_t>(h.biHeight) * 3;
    return std::vector<uint8_t>(frame.m_pImageBuffer.get(), frame.m_pImageBuffer.get() + bytes);
}

std::optional<RateTitle> ParseRateTitle(const QString& title) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^VelC Viewer \[(\d+) x (\d+)\]  (\d+\.\d{6})\(fps\)$)"));
    const QRegularExpressionMatch m = pattern.match(title);
    if (!m.hasMatch())
        return std::nullopt;
    return RateTitle{m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toDouble()};
}

QSize LiveTitleSize(const QString& title) {
    const std::optional<RateTitle> parsed = ParseRateTitle(title);
    return parsed ? QSize(parsed->width, parsed->height) : QSize(0, 0);
}

void GiveBuffers(CMainFrame& frame, int width, int height) {
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    frame.m_nWidth = width;
    frame.m_nHeight = height;
    frame.m_rcRegion = Rect{0, 0, width, height};
    frame.m_pImageBuffer = std::make_unique<uint8_t[]>(pixels * 3);
    frame.m_pRawBuffer = std::make_unique<uint8_t[]>(pixels);
    frame.m_pPatternNoise = std::make_unique<int32_t[]>(pixels);
    frame.m_pBadPixels = std::make_unique<uint8_t[]>(pixels);
    std::fill_n(frame.m_pBadPixels.get(), pixels, 0xFF);
    frame.InitDisplay();
    frame.m_pBmpInfo->bmiHeader.biWidth = width;
    frame.m_pBmpInfo->bmiHeader.biHeight = height;
}

ExactSimCamera::ExactSimCamera(const char* bayer) : m_bayer("OCUSNAP_BAYER", std::string(bayer)) {}

void SimViewerTest::SetUp() {
    RemoveSettings();
    SetYuvLutFolderForTesting(lutFolder.Path().string());
}

void SimViewerTest::TearDown() {
    SetYuvLutFolderForTesting("");
    RemoveSettings();
}

bool StartLive(CMainFrame& frame, int width, int height, int frames) {
    ResizeClient(frame, width, height);
    return frame.ExecuteCommand(kIdContinuousSnap) && WaitFor([&] { return frame.m_nFrameCount >= frames; });
}

void Mouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void Drag(QWidget* widget, QPoint from, QPoint to) {
    Mouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton);
    Mouse(widget, QEvent::MouseMove, to, Qt::LeftButton);
    Mouse(widget, QEvent::MouseButtonRelease, to);
}

} // namespace ocu::test
