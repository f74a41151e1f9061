// White balance: measuring the channel ratios from the current frame, and the dialog that edits them.
#include "PixConv.h"
#include "camera/DeliveryPause.h"
#include "dialogs/WhiteBalanceDlg.h"
#include "frame/MainFrame.h"
#include "imaging/FramePipeline.h"

using namespace ocu;

void CMainFrame::OnWhiteBalance() {
    // Whatever the dialog ends with, it has already left the ratios and tables as they should stay.
    CWhiteBalanceDlg dlg(*this, this);
    dlg.exec();
}

int CMainFrame::OnWbMeasure() {
    uint8_t* const raw = m_pRawBuffer.get();
    uint8_t* const image = m_pImageBuffer.get();
    if (raw == nullptr || image == nullptr || m_nImageMode != 0)
        return 1;
    // Unit ratios: plain tables, or the gamma curve alone when gamma is on.
    BuildChannelLuts(1.0, 1.0, 1.0);
    BitmapInfoHeader& header = m_pBmpInfo->bmiHeader;
    header.biBitCount = 24;
    // Outside a frame handler the driver may be writing the next frame into the raw buffer.
    const DeliveryPause pause(m_hDevice, m_bSnapping, raw);
    ConvertBayer2Rgb(image, raw, header.biWidth, header.biHeight, m_nConversion, m_Lut[kLutRed].data(),
                     m_Lut[kLutGreen].data(), m_Lut[kLutBlue].data(), 1, m_nBayerLayout);
    GetWhiteBalanceRatio(image, header.biWidth, header.biHeight, &m_dRatioR, &m_dRatioG, &m_dRatioB);
    // The image stays in the buffer as the header describes it, for a repaint before the next frame.
    PadRowsToDib(image, header.biWidth, header.biHeight, 24);
    return 1;
}
