// The frame's pipeline: the raw frame in m_pRawBuffer becomes the display image in m_pImageBuffer.
#include "PixConv.h"
#include "frame/MainFrame.h"
#include "imaging/FramePipeline.h"
#include "imaging/YuvLut.h"

#include <algorithm>

using namespace ocu;

namespace {

// One alternation for the whole process: it carries on across acquisitions and changes of type.
int s_nFrameToggle = 1;

} // namespace

void CMainFrame::ProcessFrame() {
    BitmapInfoHeader& header = m_pBmpInfo->bmiHeader;
    const int width = header.biWidth;
    const int height = header.biHeight;
    uint8_t* const raw = m_pRawBuffer.get();
    uint8_t* const image = m_pImageBuffer.get();
    if (raw == nullptr || image == nullptr)
        return;
    const auto convert = [&] {
        ConvertBayer2Rgb(image, raw, width, height, m_nConversion, m_Lut[kLutRed].data(),
                         m_Lut[kLutGreen].data(), m_Lut[kLutBlue].data(), 1, m_nBayerLayout);
    };

    if (m_nImageMode != 0) {
        // Black and white: no correction runs and no frame is dropped; pending captures wait for a colour
        // frame.
        header.biBitCount = 8;
        convert();
        ConvertRgb2Gray(image, image, width, height);
        return;
    }

    header.biBitCount = 24;
    if (!ConvertsThisFrame(m_nConversion, s_nFrameToggle))
        return;
    const auto restoreOutputWindow = [this] {
        ApplyOutputWindow(m_rcRegion.left, m_rcRegion.top, m_rcRegion.Width(), m_rcRegion.Height());
    };
    if (m_bGetBadPixels) {
        DetectDeadPixel(raw, m_pBadPixels.get(), m_nWidth, m_nHeight);
        m_bGetBadPixels = 0;
        restoreOutputWindow();
    }
    if (m_bEraseBadPixels)
        EraseDeadPixel(raw, m_pBadPixels.get(), m_rcRegion.left, m_rcRegion.top, width, height, m_nWidth,
                       m_nHeight);
    if (m_bGetTemplate) {
        if (m_nTemplateFrames == 0 && m_pPatternNoise)
            std::fill_n(m_pPatternNoise.get(), static_cast<size_t>(m_nWidth) * static_cast<size_t>(m_nHeight),
                        0);
        GetPatternNoise(raw, m_pPatternNoise.get(), m_nWidth, m_nHeight);
        if (++m_nTemplateFrames >= 10) {
            AvgPatternNoise(m_pPatternNoise.get(), m_nWidth, m_nHeight, 10);
            m_bGetTemplate = 0;
            m_nTemplateFrames = 0;
            restoreOutputWindow();
        }
    }
    if (m_bTemplateCorrect)
        FixPatternNoise(raw, m_pPatternNoise.get(), m_rcRegion.left, m_rcRegion.top, width, height, m_nWidth,
                        m_nHeight);
    convert();
}

int CMainFrame::ConvertRgb2Gray(uint8_t* dst, const uint8_t* src, int width, int height) const {
    if (dst == nullptr || src == nullptr || width <= 0 || height <= 0)
        return 0;
    // Without the table file each level is computed by the table's own rule, so the picture is the same.
    BgrToGray(dst, src, static_cast<size_t>(width) * static_cast<size_t>(height), m_pYUVLut.get());
    return 1;
}

MappedView CMainFrame::MapYUVLut(const std::string& path) {
    return MapYuvLutFile(path, m_hYUVLutFile);
}
