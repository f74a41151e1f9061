#include "SimCamera.h"

#include "SimTiming.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace ocusnap::detail::sim {

namespace {

Clock::duration Seconds(double s) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

// Frames of one capture, paced like the sensor: free running at the frame period, or one frame per
// external trigger in snap mode 1.
class SimStream final : public FrameStream {
public:
    SimStream(std::shared_ptr<SimCamera> camera, std::shared_ptr<const RegisterFile> registers)
        : m_camera(std::move(camera)), m_registers(std::move(registers)),
          m_tables(std::make_unique<FrameTables>()) {}

    StreamFrame Next(uint8_t* scratch, bool restarted, uint64_t) override {
        const Registers regs = m_registers->Read();
        m_camera->Render(regs, *m_tables, scratch);
        StreamFrame frame{regs.window.width, regs.window.height, std::nullopt};
        if (!m_camera->Config().maxFps) {
            frame.readyAt = Schedule(regs, restarted);
        }
        return frame;
    }

private:
    Clock::time_point Schedule(const Registers& regs, bool restarted) {
        const int32_t type = m_camera->Config().deviceType;
        const Clock::time_point now = Clock::now();
        if (regs.snapMode == 1) {
            // Triggers come every half second from the first start on; one that arrives while the
            // sensor is still busy with a frame is missed.
            const Clock::duration period = Seconds(kTriggerPeriodSeconds);
            const Clock::duration latency = Seconds(ExposureSeconds(type, regs) + ReadoutSeconds(type, regs));
            if (m_lastTrigger == Clock::time_point{}) {
                m_lastTrigger = now;
            }
            Clock::time_point trigger = m_lastTrigger + period;
            while (trigger + latency < now) {
                trigger += period;
            }
            m_lastTrigger = trigger;
            return trigger + latency;
        }
        const Clock::duration period = Seconds(FramePeriodSeconds(type, regs));
        if (restarted || m_lastReady == Clock::time_point{}) {
            m_lastReady = now; // the first frame after a start needs a whole exposure and readout
        }
        Clock::time_point ready = m_lastReady + period;
        if (ready < now && period.count() > 0) {
            // The receiver held a frame longer than a period: the frames read out meanwhile are lost,
            // and the next one arrives on the sensor's own beat.
            ready += period * ((now - ready) / period + 1);
        }
        m_lastReady = ready;
        return ready;
    }

    std::shared_ptr<SimCamera> m_camera;
    std::shared_ptr<const RegisterFile> m_registers;
    std::unique_ptr<FrameTables> m_tables;
    Clock::time_point m_lastReady{};
    Clock::time_point m_lastTrigger{};
};

} // namespace

Capabilities SimCapabilities(int32_t deviceType, Bayer bayer) {
    Capabilities caps;
    caps.deviceType = deviceType;
    caps.bayerLayout = static_cast<int32_t>(bayer);
    caps.resolutions = {{1280, 1024}, {640, 480}, {320, 240}};
    caps.hasSnapSpeed = deviceType >= 2;
    if (deviceType == 2) {
        caps.blankingLimits = BlankingLimits{-20, -10, 4095, 2047};
    } else if (deviceType == 3) {
        caps.blankingLimits = kLaterModelBlankingLimits;
    }
    return caps;
}

SimCamera::SimCamera(const SimConfig& config)
    : m_config(config), m_caps(SimCapabilities(config.deviceType, config.bayer)),
      m_scenes(m_caps.resolutions.size()) {}

std::shared_ptr<const ModeScene> SimCamera::SceneOf(int32_t mode) {
    std::lock_guard lock(m_sceneMutex);
    auto& scene = m_scenes.at(static_cast<size_t>(mode));
    if (!scene) {
        const ResolutionEntry& image = m_caps.resolutions[static_cast<size_t>(mode)];
        scene = PreparedScene(m_config.bayer, m_config.scene, image.nWidth, image.nHeight);
    }
    return scene;
}

std::unique_ptr<FrameStream> SimCamera::OpenStream(std::shared_ptr<const RegisterFile> registers) {
    return std::make_unique<SimStream>(shared_from_this(), std::move(registers));
}

void SimCamera::Render(const Registers& registers, FrameTables& tables, uint8_t* destination) {
    const auto scene = SceneOf(registers.mode);
    FrameInput input;
    input.registers = registers;
    input.deviceType = m_config.deviceType;
    input.exposureSeconds = ExposureSeconds(m_config.deviceType, registers);
    input.frameIndex = m_frameIndex.fetch_add(1, std::memory_order_relaxed);
    input.motionIndex = m_config.freeze ? 0 : input.frameIndex;
    input.noise = m_config.noise;
    input.movingObject = m_config.scene == SceneKind::Chart;
    RenderFrame(*scene, m_config.bayer, input, tables, destination);
}

OCUSTATUS SimCamera::Snap(const Registers& registers, uint8_t* destination) {
    // A software trigger: the sensor exposes and reads out one frame.
    const auto tables = std::make_unique<FrameTables>();
    const Clock::time_point ready = Clock::now() + Seconds(ExposureSeconds(m_config.deviceType, registers) +
                                                           ReadoutSeconds(m_config.deviceType, registers));
    Render(registers, *tables, destination);
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
