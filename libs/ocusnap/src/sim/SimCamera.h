// The simulated camera: a VelC-like colour camera with a test chart in front of its lens.
#pragma once

#include "../CameraDevice.h"
#include "SimConfig.h"
#include "SimScene.h"
#include "SimSensor.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace ocusnap::detail::sim {

// The capabilities of a simulated camera of the given device type and filter layout.
Capabilities SimCapabilities(int32_t deviceType, Bayer bayer = Bayer::GRBG);

class SimCamera final : public Sensor, public std::enable_shared_from_this<SimCamera> {
public:
    explicit SimCamera(const SimConfig& config);

    const Capabilities& Caps() const override { return m_caps; }
    std::unique_ptr<FrameStream> OpenStream(std::shared_ptr<const RegisterFile> registers) override;
    OCUSTATUS Snap(const Registers& registers, uint8_t* destination) override;
    OCUSTATUS InjectedFault(Operation operation) const override;

    const SimConfig& Config() const { return m_config; }
    // Renders the next frame of the sensor with these registers.
    void Render(const Registers& registers, FrameTables& tables, uint8_t* destination);

private:
    std::shared_ptr<const ModeScene> SceneOf(int32_t mode);

    const SimConfig m_config;
    const Capabilities m_caps;
    std::mutex m_sceneMutex;
    std::vector<std::shared_ptr<const ModeScene>> m_scenes; // per mode, prepared on first use
    std::atomic<uint64_t> m_frameIndex{0};                  // frames read out since the camera was opened
};

} // namespace ocusnap::detail::sim
