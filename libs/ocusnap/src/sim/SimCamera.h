// The simulated camera: a VelC-like colour camera with a test chart in front of its lens.
#pragma once

#include "../CameraDevice.h"
#include "SimConfig.h"
#include "SimControl.h"
#include "SimScene.h"
#include "SimSensor.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace ocusnap::detail::sim {

// The capabilities of a simulated camera of this configuration (device type and sensor size).
Capabilities SimCapabilities(const SimConfig& config);

// What one rendering thread keeps between frames, so that rendering allocates nothing.
struct RenderContext {
    explicit RenderContext(const std::string& controlPath) : control(controlPath) {}
    FrameTables tables;
    ControlWatcher control;
};

class SimCamera final : public Sensor, public std::enable_shared_from_this<SimCamera> {
public:
    explicit SimCamera(const SimConfig& config);

    const Capabilities& Caps() const override { return m_caps; }
    std::unique_ptr<FrameStream> OpenStream(std::shared_ptr<const RegisterFile> registers) override;
    OCUSTATUS Snap(const Registers& registers, uint8_t* destination) override;
    OCUSTATUS InjectedFault(Operation operation) const override;

    const SimConfig& Config() const { return m_config; }
    std::unique_ptr<RenderContext> NewRenderContext() const;
    // Renders the next frame of the sensor with these registers, under the lens cap and light box as
    // they are set now.
    void Render(const Registers& registers, RenderContext& context, uint8_t* destination);
    // Frames rendered to the end since the camera was opened (tests watch the render-ahead with it).
    uint64_t FramesRendered() const { return m_rendered.load(); }

private:
    std::shared_ptr<const ModeScene> SceneOf(int32_t mode);
    // The chart of a mode as the lens shows it at this focus (null when sharp), blurred on the first
    // frame after the lever moved and kept for the frames after it.
    std::shared_ptr<const std::vector<uint16_t>> FocusedChart(int32_t mode, const ModeScene& scene,
                                                              int focus);

    const SimConfig m_config;
    const Capabilities m_caps;
    std::mutex m_sceneMutex;
    std::vector<std::shared_ptr<const ModeScene>> m_scenes; // per mode, prepared on first use
    struct Focused {
        int32_t mode = -1;
        int focus = 0;
        std::shared_ptr<const std::vector<uint16_t>> chart;
    };
    Focused m_focused;                     // the last blurred chart, under m_sceneMutex
    std::atomic<uint64_t> m_frameIndex{0}; // frames read out since the camera was opened
    std::atomic<uint64_t> m_rendered{0};
};

} // namespace ocusnap::detail::sim
