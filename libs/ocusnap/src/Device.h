// The backend boundary: every OcuSnap call with a valid handle lands on one Device.
//
// A backend (the simulated camera, a recorded camera for tests, later real cameras) implements this
// interface; the C functions only validate the handle and forward. Implementations must honour the
// threading contract described in OcuSnap.h.
#pragma once

#include "OcuSnap.h"

#include <cstdint>

namespace ocusnap::detail {

class Device {
public:
    virtual ~Device() = default;

    virtual OCUSTATUS GetDeviceInfo(int32_t infoCode, void* buffer, uint32_t* size) = 0;
    virtual OCUSTATUS SetResolution(int32_t mode) = 0;
    virtual OCUSTATUS SetSnapMode(int32_t mode) = 0;
    virtual OCUSTATUS SetSnapSpeed(int32_t speed) = 0;
    virtual OCUSTATUS SetBlanking(int32_t horizontal, int32_t vertical) = 0;
    virtual OCUSTATUS SetOutputWindow(int32_t left, int32_t top, int32_t width, int32_t height) = 0;
    virtual OCUSTATUS SetGain(uint8_t channel, int32_t gain) = 0;
    virtual OCUSTATUS SetAdc(int32_t mode, int32_t level) = 0;
    virtual OCUSTATUS SetExposure(int32_t mode, int32_t value) = 0;

    virtual OCUSTATUS OpenSnap(SnapCallback callback, void* context) = 0;
    virtual OCUSTATUS StartSnap(uint8_t* const* buffers, int32_t count) = 0;
    virtual OCUSTATUS StopSnap() = 0;
    virtual OCUSTATUS CloseSnap() = 0;
    virtual OCUSTATUS SnapShot(uint8_t* const* buffers, int32_t count) = 0;

    // EndOcuDevice: closes the capture if one is open. No callback starts after this returns, even
    // though other calls that still hold the device may be finishing.
    virtual OCUSTATUS End() = 0;
};

} // namespace ocusnap::detail
