// The frame's display state: screen size, gray palette and the display bitmap's header, and the per-frame
// draw.
#include "frame/MainFrame.h"

#include <QScreen>

using namespace ocu;

void CMainFrame::InitDisplay() {
    if (const QScreen* s = screen()) {
        m_nScreenWidth = s->size().width();
        m_nScreenHeight = s->size().height();
        m_hPalette = std::make_unique<GrayPalette>(MakeGrayPalette());
    }
    InitBitmapInfo(*m_pBmpInfo);
}

void CMainFrame::DrawImage() {
    // Painting frames into the view arrives with the live view.
}
