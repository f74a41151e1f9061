// The frame's display: screen size, gray palette and the display bitmap's header, and the per-frame draw.
#include "display/OcuViewerView.h"
#include "frame/MainFrame.h"

#include <QScreen>

using namespace ocu;

void CMainFrame::InitDisplay() {
    if (const QScreen* s = screen()) {
        // In device pixels, as the size rule counts.
        m_nScreenWidth = ToDevicePixels(s->size().width(), s->devicePixelRatio());
        m_nScreenHeight = ToDevicePixels(s->size().height(), s->devicePixelRatio());
        m_hPalette = std::make_unique<GrayPalette>(MakeGrayPalette());
    }
    InitBitmapInfo(*m_pBmpInfo);
}

bool CMainFrame::DrawImage() {
    if (m_pView == nullptr)
        return false;
    BitmapInfoHeader& header = m_pBmpInfo->bmiHeader;
    header.biWidth = m_rcRegion.Width();
    header.biHeight = m_rcRegion.Height();
    // A frame of the region stays in the raw buffer as the picture's source (a dropped frame being the one
    // after it); a whole-sensor capture frame is that only once the pipeline has cut it to the region.
    m_bImageFromRaw =
        m_rcOutputWindow.Width() == header.biWidth && m_rcOutputWindow.Height() == header.biHeight;
    const bool drawn = ProcessFrame(m_rcOutputWindow.Width(), m_rcOutputWindow.Height());
    m_pView->PaintFrame();
    return drawn;
}
