// The frame's camera configuration: device set-up, exposure, blanking, output window, and the
// Resolution and Snap Speed commands.
#include "camera/DeliveryPause.h"
#include "camera/DeviceInfo.h"
#include "camera/Exposure.h"
#include "frame/MainFrame.h"

#include <algorithm>
#include <new>
#include <vector>

using namespace ocu;

namespace {

// A buffer of count elements, each set to value; null when the memory is not there.
template <typename T>
std::unique_ptr<T[]> AllocateFilled(size_t count, T value) {
    std::unique_ptr<T[]> buffer(new (std::nothrow) T[count]);
    if (buffer)
        std::fill_n(buffer.get(), count, value);
    return buffer;
}

} // namespace

void CMainFrame::InitDevice() {
    if (m_hDevice == nullptr)
        return;

    std::vector<ResolutionEntry> table;
    if (!QueryResolutionTable(m_hDevice, table))
        return;
    // A stored mode that this camera does not have falls back to its largest image.
    if (m_nResolution < 0 || static_cast<size_t>(m_nResolution) >= table.size())
        m_nResolution = 0;
    m_nWidth = table[static_cast<size_t>(m_nResolution)].nWidth;
    m_nHeight = table[static_cast<size_t>(m_nResolution)].nHeight;
    const size_t width0 = static_cast<size_t>(table[0].nWidth);
    const size_t height0 = static_cast<size_t>(table[0].nHeight);

    int32_t type = -1;
    if (QueryDeviceType(m_hDevice, type) && (type == 2 || type == 3)) {
        m_bSnapSpeedSupported = 1;
        m_bBlankingQuery = 1;
    }

    OcuSetResolution(m_hDevice, m_nResolution);
    OcuSetSnapMode(m_hDevice, m_nSnapMode);
    if (OcuSetOutputWindow(m_hDevice, 0, 0, m_nWidth, m_nHeight) == OCU_OK)
        m_rcOutputWindow = Rect{0, 0, m_nWidth, m_nHeight};
    if (m_bSnapSpeedSupported)
        OcuSetSnapSpeed(m_hDevice, m_nSnapSpeed);
    OcuSetBlanking(m_hDevice, m_nHBlanking, m_nVBlanking);
    OcuAGCControl(m_hDevice, OCU_GAIN_RED, m_nGain[0]);
    OcuAGCControl(m_hDevice, OCU_GAIN_GREEN_RED_ROW, m_nGain[1]);
    OcuAGCControl(m_hDevice, OCU_GAIN_GREEN_BLUE_ROW, m_nGain[2]);
    OcuAGCControl(m_hDevice, OCU_GAIN_BLUE, m_nGain[3]);
    ApplyExposure(m_nWidth, m_nTintUpper, m_nTintLower);
    OcuADCControl(m_hDevice, 0, m_nADCLevel);
    BuildChannelLuts(m_dRatioR, m_dRatioG, m_dRatioB);

    // Sized once for the largest mode, so that no later mode or window needs new buffers.
    const size_t pixels = width0 * height0;
    m_pImageBuffer = AllocateFilled<uint8_t>(pixels * 3, 0xFF);
    m_pRawBuffer = AllocateFilled<uint8_t>(pixels, 0xFF);
    m_pPatternNoise = AllocateFilled<int32_t>(pixels, 0);
    m_pBadPixels = AllocateFilled<uint8_t>(pixels, 0xFF);
}

void CMainFrame::ApplyExposure(int width, int upper, int lower) {
    if (m_hDevice == nullptr)
        return;
    ExposureInput in;
    // A device that does not tell its type is treated as a later model.
    in.deviceType = -1;
    int32_t type = 0;
    if (QueryDeviceType(m_hDevice, type))
        in.deviceType = type;
    in.snapSpeed = m_nSnapSpeed;
    in.width = width;
    in.hBlanking = m_nHBlanking;
    in.upper = upper;
    in.lower = lower;
    OcuAECControl(m_hDevice, 1, ExposureValue(in));
}

void CMainFrame::ApplyBlanking(int h, int v) {
    // Read anew on every call: the limits may depend on the mode and the speed.
    const BlankingRange range = QueryBlankingRange(m_hDevice, m_bBlankingQuery != 0);
    m_nHBlanking = ClampBlanking(h, range.hMin, range.hMax);
    m_nVBlanking = ClampBlanking(v, range.vMin, range.vMax);
    if (m_hDevice != nullptr)
        OcuSetBlanking(m_hDevice, m_nHBlanking, m_nVBlanking);
    ApplyExposure(RegionWidth(), m_nTintUpper, m_nTintLower);
}

void CMainFrame::ApplyOutputWindow(int left, int top, int width, int height) {
    if (m_hDevice == nullptr)
        return;
    // The driver takes a new window only while delivery is paused.
    const DeliveryPause pause(m_hDevice, m_bSnapping, m_pRawBuffer.get());
    if (OcuSetOutputWindow(m_hDevice, left, top, width, height) == OCU_OK)
        m_rcOutputWindow = Rect{left, top, left + width, top + height};
}

void CMainFrame::ApplyRegionToCamera() {
    ApplyOutputWindow(m_rcRegion.left, m_rcRegion.top, m_rcRegion.Width(), m_rcRegion.Height());
}

std::array<uint8_t*, 1> CMainFrame::RawBufferList() const {
    return {m_pRawBuffer.get()};
}

void CMainFrame::OnResolution(int mode) {
    if (m_hDevice == nullptr || OcuSetResolution(m_hDevice, mode) != OCU_OK)
        return;
    m_nResolution = mode;
    std::vector<ResolutionEntry> table;
    if (QueryResolutionTable(m_hDevice, table) && static_cast<size_t>(mode) < table.size()) {
        m_nWidth = table[static_cast<size_t>(mode)].nWidth;
        m_nHeight = table[static_cast<size_t>(mode)].nHeight;
    }
    ReapplyWindowRect();
    ApplyRegionToCamera();
}

void CMainFrame::OnSnapSpeed(int speed) {
    if (!m_bSnapSpeedSupported)
        return;
    m_nSnapSpeed = speed;
    if (m_hDevice != nullptr)
        OcuSetSnapSpeed(m_hDevice, m_nSnapSpeed);
    ApplyExposure(RegionWidth(), m_nTintUpper, m_nTintLower);
}
