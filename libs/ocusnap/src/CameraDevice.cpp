#include "CameraDevice.h"

#include "ThreadReaper.h"

namespace ocusnap::detail {

CameraDevice::CameraDevice(std::shared_ptr<Sensor> sensor)
    : m_sensor(std::move(sensor)),
      m_registers(std::make_shared<RegisterFile>(PowerOnRegisters(m_sensor->Caps()))) {}

CameraDevice::~CameraDevice() {
    End();
}

OCUSTATUS CameraDevice::GetDeviceInfo(int32_t infoCode, void* buffer, uint32_t* size) {
    return Locked([&]() -> OCUSTATUS { return AnswerDeviceInfo(m_sensor->Caps(), infoCode, buffer, size); });
}

OCUSTATUS CameraDevice::SetResolution(int32_t mode) {
    return Locked([&]() -> OCUSTATUS {
        const Capabilities& caps = m_sensor->Caps();
        if (const OCUSTATUS s = CheckResolution(caps, mode); s != OCU_OK) {
            return s;
        }
        if (const OCUSTATUS s = Change([&](Registers& r) {
                r.mode = mode;
                r.window = FitWindow(caps, mode, r.window);
            });
            s != OCU_OK) {
            return s;
        }
        // A frame read out in the old mode must not reach the caller after this returns.
        if (m_capture) {
            m_capture->Restart();
        }
        return OCU_OK;
    });
}

OCUSTATUS CameraDevice::SetSnapMode(int32_t mode) {
    return Locked([&]() -> OCUSTATUS {
        if (mode != 0 && mode != 1) {
            return OCU_ERR_INVALID_ARGUMENT;
        }
        return Change([&](Registers& r) { r.snapMode = mode; });
    });
}

OCUSTATUS CameraDevice::SetSnapSpeed(int32_t speed) {
    return Locked([&]() -> OCUSTATUS {
        if (!m_sensor->Caps().hasSnapSpeed) {
            return OCU_ERR_NOT_SUPPORTED;
        }
        if (speed != 0 && speed != 1) {
            return OCU_ERR_INVALID_ARGUMENT;
        }
        return Change([&](Registers& r) { r.snapSpeed = speed; });
    });
}

OCUSTATUS CameraDevice::SetBlanking(int32_t horizontal, int32_t vertical) {
    return Locked([&]() -> OCUSTATUS {
        const BlankingLimits limits = EffectiveBlankingLimits(m_sensor->Caps());
        return Change([&](Registers& r) {
            r.hBlanking = ClampBlanking(horizontal, limits.nHMin, limits.nHMax);
            r.vBlanking = ClampBlanking(vertical, limits.nVMin, limits.nVMax);
        });
    });
}

OCUSTATUS CameraDevice::SetOutputWindow(int32_t left, int32_t top, int32_t width, int32_t height) {
    return Locked([&]() -> OCUSTATUS {
        if (m_capture && m_capture->Started()) {
            return OCU_ERR_SNAP_RUNNING;
        }
        const Window window{left, top, width, height};
        if (const OCUSTATUS s = CheckWindow(m_sensor->Caps(), m_registers->Read().mode, window);
            s != OCU_OK) {
            return s;
        }
        return Change([&](Registers& r) { r.window = window; });
    });
}

OCUSTATUS CameraDevice::SetGain(uint8_t channel, int32_t gain) {
    return Locked([&]() -> OCUSTATUS {
        const int index = GainIndexOfChannel(channel);
        if (index < 0 || gain < 0 || gain > OCU_GAIN_MAX) {
            return OCU_ERR_INVALID_ARGUMENT;
        }
        return Change([&](Registers& r) { r.gain[static_cast<size_t>(index)] = gain; });
    });
}

OCUSTATUS CameraDevice::SetAdc(int32_t mode, int32_t level) {
    return Locked([&]() -> OCUSTATUS {
        if (mode != 0 || level < 0 || level > OCU_ADC_LEVEL_MAX) {
            return OCU_ERR_INVALID_ARGUMENT;
        }
        return Change([&](Registers& r) { r.adcLevel = level; });
    });
}

OCUSTATUS CameraDevice::SetExposure(int32_t mode, int32_t value) {
    return Locked([&]() -> OCUSTATUS {
        if (mode != 1 || value < 0 || value > OCU_EXPOSURE_MAX) {
            return OCU_ERR_INVALID_ARGUMENT;
        }
        return Change([&](Registers& r) { r.exposure = value; });
    });
}

OCUSTATUS CameraDevice::OpenSnap(SnapCallback callback, void* context) {
    // Threads of earlier captures that have left their callbacks are joined here, outside the
    // device's lock, so that repeated open and close cycles leave nothing behind.
    ThreadReaper::Instance().Reap();
    return Locked([&]() -> OCUSTATUS {
        if (callback == nullptr) {
            return OCU_ERR_INVALID_ARGUMENT;
        }
        if (m_capture) {
            return OCU_ERR_SNAP_ALREADY_OPEN;
        }
        if (const OCUSTATUS s = m_sensor->InjectedFault(Operation::OpenSnap); s != OCU_OK) {
            return s;
        }
        const auto scratchBytes = static_cast<size_t>(m_sensor->Caps().LargestFrameBytes());
        std::unique_ptr<FrameStream> stream = m_sensor->OpenStream(m_registers);
        if (!stream) {
            return OCU_ERR_CAPTURE_OPEN;
        }
        m_capture = CaptureHandle::Open(std::move(stream), scratchBytes, callback, context);
        return OCU_OK;
    });
}

OCUSTATUS CameraDevice::StartSnap(uint8_t* const* buffers, int32_t count) {
    return Locked([&]() -> OCUSTATUS {
        if (!m_capture) {
            return OCU_ERR_SNAP_NOT_OPEN;
        }
        if (const OCUSTATUS s = CheckBufferList(buffers, count); s != OCU_OK) {
            return s;
        }
        if (const OCUSTATUS s = m_sensor->InjectedFault(Operation::StartSnap); s != OCU_OK) {
            return s;
        }
        if (const OCUSTATUS s = m_sensor->StartAcquisition(); s != OCU_OK) {
            return s;
        }
        m_capture->Start(buffers[0]);
        return OCU_OK;
    });
}

OCUSTATUS CameraDevice::StopSnap() {
    return Locked([&]() -> OCUSTATUS {
        if (!m_capture) {
            return OCU_ERR_SNAP_NOT_OPEN;
        }
        m_capture->Stop();
        m_sensor->StopAcquisition();
        return OCU_OK;
    });
}

OCUSTATUS CameraDevice::CloseSnap() {
    return Locked([&]() -> OCUSTATUS {
        if (!m_capture) {
            return OCU_ERR_SNAP_NOT_OPEN;
        }
        m_capture.Close();
        m_sensor->StopAcquisition();
        // Closed all the same; the caller that stops a picture which had stopped by itself learns why.
        return m_sensor->Lost() ? OCU_ERR_CAMERA_LOST : OCU_OK;
    });
}

OCUSTATUS CameraDevice::SnapShot(uint8_t* const* buffers, int32_t count) {
    Registers registers;
    const OCUSTATUS accepted = Locked([&]() -> OCUSTATUS {
        if (const OCUSTATUS s = CheckBufferList(buffers, count); s != OCU_OK) {
            return s;
        }
        if (m_capture && m_capture->Started()) {
            return OCU_ERR_SNAP_RUNNING;
        }
        if (const OCUSTATUS s = m_sensor->InjectedFault(Operation::SnapShot); s != OCU_OK) {
            return s;
        }
        registers = m_registers->Read();
        return OCU_OK;
    });
    // The exposure and readout take their time; other calls need not wait for them.
    return accepted == OCU_OK ? m_sensor->Snap(registers, buffers[0]) : accepted;
}

OCUSTATUS CameraDevice::End() {
    std::lock_guard lock(m_mutex);
    if (m_ended) {
        return OCU_ERR_INVALID_HANDLE;
    }
    m_ended = true;
    m_capture.Close();
    m_sensor->Shutdown();
    return OCU_OK;
}

std::shared_ptr<Capture> CameraDevice::OpenCapture() const {
    std::lock_guard lock(m_mutex);
    return m_capture ? m_capture.Get() : nullptr;
}

} // namespace ocusnap::detail
