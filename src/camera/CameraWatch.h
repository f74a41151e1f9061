// Notices a camera lost while it was delivering: the driver's callbacks simply stop. A camera silent for
// a second is asked, with a call that changes nothing (the snap mode it already has), whether it is still
// there; the driver answers that from what it knows of the connection. Frames may come on another thread
// than the one that asks.
#pragma once

#include "OcuSnap.h"

#include <atomic>
#include <cstdint>

namespace ocu {

// Whether the driver knows the camera to be lost, asked with a call that changes nothing.
bool AskIfLost(OCUHANDLE device, int snapMode);

class CameraWatch {
public:
    // Watching begins (the capture started) at nowUs, microseconds of the monotonic clock.
    void Start(uint64_t nowUs);
    // A frame arrived.
    void Frame(uint64_t nowUs) { m_lastFrameUs = nowUs; }
    uint64_t LastFrameUs() const { return m_lastFrameUs; }
    // True when the camera has been silent long enough to be asked, and the driver says it is lost.
    bool Lost(OCUHANDLE device, int snapMode, uint64_t nowUs);

    static constexpr uint64_t kSilenceUs = 1000000;

private:
    uint64_t m_startUs = 0;
    uint64_t m_lastAskedUs = 0;
    std::atomic<uint64_t> m_lastFrameUs{0};
};

} // namespace ocu
