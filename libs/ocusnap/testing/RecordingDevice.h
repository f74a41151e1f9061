// The recorded camera behind OcuSnapTesting.h: a CameraDevice over a camera that delivers frames on
// request, with every call written to the shared script state first.
#pragma once

#include "CameraDevice.h"
#include "OcuSnapTesting.h"

#include <map>
#include <mutex>

namespace ocusnap::testing {

namespace detail_recording {

// The script and the record, shared by the driver object and the recorded camera.
struct Script {
    mutable std::mutex mutex;
    std::vector<RecordedCall> calls;
    detail::Capabilities caps;
    std::map<std::string, OCUSTATUS, std::less<>> statuses;
    std::map<int32_t, OCUSTATUS> infoFailures;
    std::weak_ptr<detail::CameraDevice> device;   // the open recorded camera
    std::shared_ptr<detail::Capture> lastCapture; // kept after close, for FramesDelivered

    Script();
    void Record(std::string function, std::vector<int64_t> args, std::string text);
    OCUSTATUS ScriptedStatus(std::string_view function) const;
};

// Frames of the recorded camera: the output window filled with the value asked for.
class RecordedSensor final : public detail::Sensor {
public:
    explicit RecordedSensor(detail::Capabilities caps) : m_caps(std::move(caps)) {}
    const detail::Capabilities& Caps() const override { return m_caps; }
    std::unique_ptr<detail::FrameStream>
    OpenStream(std::shared_ptr<const detail::RegisterFile> registers) override;
    OCUSTATUS Snap(const detail::Registers& registers, uint8_t* destination) override;

private:
    detail::Capabilities m_caps;
};

class RecordingDevice final : public detail::Device {
public:
    RecordingDevice(std::shared_ptr<Script> state, std::shared_ptr<detail::CameraDevice> inner)
        : m_state(std::move(state)), m_inner(std::move(inner)) {}

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

    // Ends the camera without recording (the driver's own clean-up).
    void EndSilently() { m_inner->End(); }

private:
    // Records the call; returns the scripted status, or OCU_OK when the call should go through.
    OCUSTATUS Note(const char* function, std::vector<int64_t> args, std::string argText);

    std::shared_ptr<Script> m_state;
    std::shared_ptr<detail::CameraDevice> m_inner;
};

} // namespace detail_recording

struct RecordingDriver::State : detail_recording::Script {};

} // namespace ocusnap::testing
