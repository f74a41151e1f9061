#include "camera/CameraWatch.h"

#include <algorithm>

namespace ocu {

bool AskIfLost(OCUHANDLE device, int snapMode) {
    return OcuSetSnapMode(device, snapMode) == OCU_ERR_CAMERA_LOST;
}

void CameraWatch::Start(uint64_t nowUs) {
    m_startUs = nowUs;
    m_lastAskedUs = 0;
    m_lastFrameUs = 0;
}

bool CameraWatch::Lost(OCUHANDLE device, int snapMode, uint64_t nowUs) {
    const uint64_t quietSince = std::max(m_lastFrameUs.load(), m_startUs);
    if (device == nullptr || nowUs - quietSince < kSilenceUs || nowUs - m_lastAskedUs < kSilenceUs)
        return false;
    m_lastAskedUs = nowUs;
    return AskIfLost(device, snapMode);
}

} // namespace ocu
