// The frame's pipeline: the raw frame in m_pRawBuffer becomes the display image in m_pImageBuffer, through
// the window-free pipeline over the frame's own state.
#include "frame/MainFrame.h"
#include "imaging/FramePipeline.h"
#include "imaging/YuvLut.h"

using namespace ocu;

bool CMainFrame::ProcessFrame(int frameWidth, int frameHeight) {
    FramePipeline pipeline{
        .raw = m_pRawBuffer.get(),
        .image = m_pImageBuffer.get(),
        .frameWidth = frameWidth,
        .frameHeight = frameHeight,
        .header = m_pBmpInfo->bmiHeader,
        .luts = m_Lut,
        .conversion = m_nConversion,
        .bayerLayout = m_nBayerLayout,
        .imageMode = m_nImageMode,
        .grayTable = m_pYUVLut.get(),
        .frameToggle = FrameToggle(),
        .sensorWidth = m_nWidth,
        .sensorHeight = m_nHeight,
        .regionLeft = m_rcRegion.left,
        .regionTop = m_rcRegion.top,
        .badPixels = m_pBadPixels.get(),
        .patternNoise = m_pPatternNoise.get(),
        .getBadPixels = m_bGetBadPixels,
        .eraseBadPixels = m_bEraseBadPixels,
        .getTemplate = m_bGetTemplate,
        .templateCorrect = m_bTemplateCorrect,
        .templateFrames = m_nTemplateFrames,
        .restoreOutputWindow =
            [this] {
                // The exposure for the region's lines first, so that no frame of the region is taken
                // with the whole sensor's.
                ApplyExposure(RegionWidth(), m_nTintUpper, m_nTintLower);
                ApplyRegionToCamera();
            },
    };
    return RunFramePipeline(pipeline);
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
