// The device that every camera model shares: argument checks, the registers, and the capture.
//
// A camera model (the simulated sensor, the recorded camera) supplies its capabilities and its
// frames through Sensor; CameraDevice turns the OcuSnap calls into register writes and captures.
#pragma once

#include "Capture.h"
#include "Device.h"
#include "Registers.h"

#include <memory>
#include <mutex>

namespace ocusnap::detail {

// The registers, shared between the device (which writes them) and the frame producers (which read
// them for every frame, on the delivery thread).
class RegisterFile {
public:
    explicit RegisterFile(const Registers& initial) : m_registers(initial) {}
    Registers Read() const {
        std::lock_guard lock(m_mutex);
        return m_registers;
    }
    template <typename F>
    void Write(F&& change) {
        std::lock_guard lock(m_mutex);
        change(m_registers);
    }

private:
    mutable std::mutex m_mutex;
    Registers m_registers;
};

enum class Operation { OpenSnap, StartSnap, SnapShot };

class Sensor {
public:
    virtual ~Sensor() = default;
    virtual const Capabilities& Caps() const = 0;
    // The frame producer of a new capture; null when the camera cannot stream.
    virtual std::unique_ptr<FrameStream> OpenStream(std::shared_ptr<const RegisterFile> registers) = 0;
    // Takes one frame into `destination` for OcuSnapShot and returns once it has been read out.
    virtual OCUSTATUS Snap(const Registers& registers, uint8_t* destination) = 0;
    // A failure known before the operation starts (one injected for tests, a camera that is gone), or
    // OCU_OK.
    virtual OCUSTATUS InjectedFault(Operation) const { return OCU_OK; }

    // Cameras with settings of their own (real cameras) take the registers through these; a model
    // that reads the registers for every frame needs none of them. All run under the device's lock.
    // Sends registers that a call is about to set; a refusal leaves the registers as they were.
    virtual OCUSTATUS Configure(const Registers& /*next*/) { return OCU_OK; }
    // The camera's own acquisition, around a capture's delivery.
    virtual OCUSTATUS StartAcquisition() { return OCU_OK; }
    virtual void StopAcquisition() {}
    // The device is ended: stop acquiring and let go of the camera.
    virtual void Shutdown() {}
    // The camera stopped answering (real cameras: unplugged, switched off); its deliveries have ended.
    virtual bool Lost() const { return false; }
};

class CameraDevice final : public Device {
public:
    explicit CameraDevice(std::shared_ptr<Sensor> sensor);
    ~CameraDevice() override;

    OCUSTATUS GetDeviceInfo(int32_t infoCode, void* buffer, uint32_t* size) override;
    OCUSTATUS SetResolution(int32_t mode) override;
    OCUSTATUS SetSnapMode(int32_t mode) override;
    OCUSTATUS SetSnapSpeed(int32_t speed) override;
    OCUSTATUS SetBlanking(int32_t horizontal, int32_t vertical) override;
    OCUSTATUS SetOutputWindow(int32_t left, int32_t top, int32_t width, int32_t height) override;
    OCUSTATUS SetGain(uint8_t channel, int32_t gain) override;
    OCUSTATUS SetAdc(int32_t mode, int32_t level) override;
    OCUSTATUS SetExposure(int32_t mode, int32_t value) override;
    OCUSTATUS OpenSnap(SnapCallback callback, void* context) override;
    OCUSTATUS StartSnap(uint8_t* const* buffers, int32_t count) override;
    OCUSTATUS StopSnap() override;
    OCUSTATUS CloseSnap() override;
    OCUSTATUS SnapShot(uint8_t* const* buffers, int32_t count) override;
    OCUSTATUS End() override;

    Registers CurrentRegisters() const { return m_registers->Read(); }
    // The camera model behind the device (tests reach a real camera's own features through it).
    Sensor& Model() const { return *m_sensor; }
    // The open capture, or null (the recording driver drives and observes it).
    std::shared_ptr<Capture> OpenCapture() const;

private:
    // Runs a call under the device's lock, or refuses it once the device has been ended.
    template <typename F>
    OCUSTATUS Locked(F&& call) {
        std::lock_guard lock(m_mutex);
        return m_ended ? OCU_ERR_INVALID_HANDLE : call();
    }
    // Under the lock: the registers with `change` applied, kept once the camera has taken them.
    template <typename F>
    OCUSTATUS Change(F&& change) {
        Registers next = m_registers->Read();
        change(next);
        if (const OCUSTATUS s = m_sensor->Configure(next); s != OCU_OK) {
            return s;
        }
        m_registers->Write([&](Registers& r) { r = next; });
        return OCU_OK;
    }

    const std::shared_ptr<Sensor> m_sensor;
    const std::shared_ptr<RegisterFile> m_registers;
    mutable std::mutex m_mutex; // serialises the calls; taken before a capture's own lock
    CaptureHandle m_capture;
    bool m_ended = false;
};

} // namespace ocusnap::detail
