// The frame's image options and lookup tables: Image Mode, Bayer Data Layout and Conversion Type, and the
// channel tables they feed.
#include "frame/MainFrame.h"
#include "imaging/YuvLut.h"

using namespace ocu;

int CMainFrame::BuildChannelLuts(double ratioR, double ratioG, double ratioB) {
    return ocu::BuildChannelLuts(m_Lut, m_bGammaCorrect != 0, ratioR, ratioG, ratioB);
}

void CMainFrame::OnImageMode(int mode) {
    m_nImageMode = mode;
    if (mode == 1 && !m_pYUVLut)
        m_pYUVLut = MapYUVLut(YuvLutPath());
}

void CMainFrame::OnBayerLayout(int layout) {
    m_nBayerLayout = layout;
}

void CMainFrame::OnConversion(int type) {
    m_nConversion = type;
}
