#include "SimCamera.h"

#include "SimFocus.h"
#include "SimStream.h"
#include "SimTiming.h"

#include <chrono>
#include <thread>

namespace ocusnap::detail::sim {

Capabilities SimCapabilities(const SimConfig& config) {
    const int32_t deviceType = config.deviceType;
    Capabilities caps;
    caps.deviceType = deviceType;
    caps.bayerLayout = static_cast<int32_t>(config.bayer);
    if (config.sensorWidth > 0 && config.sensorHeight > 0) {
        const int32_t w = config.sensorWidth;
        const int32_t h = config.sensorHeight;
        caps.resolutions = {{w, h}, {w / 2, h / 2}, {w / 4, h / 4}};
    } else {
        caps.resolutions = {{1280, 1024}, {640, 480}, {320, 240}};
    }
    caps.hasSnapSpeed = deviceType >= 2;
    if (deviceType == 2) {
        caps.blankingLimits = BlankingLimits{-20, -10, 4095, 2047};
    } else if (deviceType == 3) {
        caps.blankingLimits = kLaterModelBlankingLimits;
    }
    return caps;
}

SimCamera::SimCamera(const SimConfig& config)
    : m_config(config), m_caps(SimCapabilities(config)), m_scenes(m_caps.resolutions.size()) {}

std::shared_ptr<const ModeScene> SimCamera::SceneOf(int32_t mode) {
    std::lock_guard lock(m_sceneMutex);
    auto& scene = m_scenes.at(static_cast<size_t>(mode));
    if (!scene) {
        const ResolutionEntry& image = m_caps.resolutions[static_cast<size_t>(mode)];
        const SensorSize sensor{m_caps.resolutions[0].nWidth, m_caps.resolutions[0].nHeight};
        // The chart is only ever seen by a camera opened on it; the cap and the light box need none.
        scene = PreparedScene(m_config.bayer, m_config.scene == SceneKind::Chart, sensor, image.nWidth,
                              image.nHeight);
    }
    return scene;
}

std::shared_ptr<const std::vector<uint16_t>> SimCamera::FocusedChart(int32_t mode, const ModeScene& scene,
                                                                     int focus) {
    if (focus <= 0 || scene.chart.empty()) {
        return nullptr;
    }
    std::lock_guard lock(m_sceneMutex);
    if (m_focused.mode != mode || m_focused.focus != focus || !m_focused.chart) {
        m_focused = {mode, focus, std::make_shared<const std::vector<uint16_t>>(BlurChart(scene, focus))};
    }
    return m_focused.chart;
}

std::unique_ptr<FrameStream> SimCamera::OpenStream(std::shared_ptr<const RegisterFile> registers) {
    return std::make_unique<SimStream>(shared_from_this(), std::move(registers));
}

std::unique_ptr<RenderContext> SimCamera::NewRenderContext() const {
    return std::make_unique<RenderContext>(m_config.controlPath);
}

void SimCamera::Render(const Registers& registers, RenderContext& context, uint8_t* destination) {
    const ControlState& control = context.control.Poll();
    const SceneKind kind = EffectiveScene(m_config.scene, control);
    const auto scene = SceneOf(registers.mode);
    const auto focused =
        kind == SceneKind::Chart ? FocusedChart(registers.mode, *scene, control.focus) : nullptr;
    FrameInput input;
    input.registers = registers;
    input.deviceType = m_config.deviceType;
    input.exposureSeconds = ExposureSeconds(m_config.deviceType, registers);
    input.frameIndex = m_frameIndex.fetch_add(1, std::memory_order_relaxed);
    input.motionIndex = m_config.freeze ? 0 : input.frameIndex;
    input.scene = kind;
    input.noise = m_config.noise;
    input.focus = focused ? control.focus : 0;
    input.focusedChart = focused ? focused->data() : nullptr;
    RenderFrame(*scene, m_config.bayer, input, context.tables, destination);
    m_rendered.fetch_add(1);
}

OCUSTATUS SimCamera::Snap(const Registers& registers, uint8_t* destination) {
    // A software trigger: the sensor exposes and reads out one frame.
    const auto context = NewRenderContext();
    const Clock::time_point ready = Clock::now() + Seconds(ExposureSeconds(m_config.deviceType, registers) +
                                                           ReadoutSeconds(m_config.deviceType, registers));
    Render(registers, *context, destination);
    if (!m_config.maxFps) {
        std::this_thread::sleep_until(ready);
    }
    return OCU_OK;
}

OCUSTATUS SimCamera::InjectedFault(Operation operation) const {
    switch (operation) {
    case Operation::OpenSnap:
        return m_config.faults.open ? OCU_ERR_CAPTURE_OPEN : OCU_OK;
    case Operation::StartSnap:
        return m_config.faults.start ? OCU_ERR_CAPTURE_START : OCU_OK;
    case Operation::SnapShot:
        return m_config.faults.snapshot ? OCU_ERR_SNAPSHOT : OCU_OK;
    }
    return OCU_OK;
}

} // namespace ocusnap::detail::sim
