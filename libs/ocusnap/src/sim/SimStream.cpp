#include "SimStream.h"

#include "SimCamera.h"
#include "SimTiming.h"

namespace ocusnap::detail::sim {

Clock::time_point SimSchedule::Next(const Registers& regs, bool restarted, Clock::time_point now) {
    if (regs.snapMode == 1) {
        // Triggers come every half second from the first start on; each frame is ready one exposure and
        // one readout after its trigger.
        const Clock::duration period = Seconds(kTriggerPeriodSeconds);
        const Clock::duration latency =
            Seconds(ExposureSeconds(m_deviceType, regs) + ReadoutSeconds(m_deviceType, regs));
        if (m_lastTrigger == Clock::time_point{}) {
            m_lastTrigger = now;
        }
        Clock::time_point trigger = m_lastTrigger + period;
        if (trigger + latency < now) {
            trigger += period * ((now - latency - trigger) / period);
        }
        m_lastTrigger = trigger;
        return trigger + latency;
    }
    const Clock::duration period = Seconds(FramePeriodSeconds(m_deviceType, regs));
    if (restarted || m_lastReady == Clock::time_point{}) {
        m_lastReady = now; // the first frame after a start needs a whole exposure and readout
    }
    Clock::time_point ready = m_lastReady + period;
    if (ready < now && period.count() > 0) {
        ready += period * ((now - ready) / period);
    }
    m_lastReady = ready;
    return ready;
}

SimStream::SimStream(std::shared_ptr<SimCamera> camera, std::shared_ptr<const RegisterFile> registers)
    : m_camera(std::move(camera)), m_registers(std::move(registers)), m_context(m_camera->NewRenderContext()),
      m_schedule(m_camera->Config().deviceType) {
    const auto bytes = static_cast<size_t>(m_camera->Caps().LargestFrameBytes());
    for (Slot& slot : m_slots) {
        slot.pixels.resize(bytes);
    }
    m_renderer = std::thread(&SimStream::RenderLoop, this);
}

SimStream::~SimStream() {
    Finish();
}

void SimStream::Finish() {
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_changed.notify_all();
    }
    if (m_renderer.joinable()) {
        m_renderer.join();
    }
}

SimStream::Slot* SimStream::Find(SlotState state, bool currentOnly) {
    for (Slot& slot : m_slots) {
        if (slot.state == state && (!currentOnly || slot.generation == m_generation)) {
            return &slot;
        }
    }
    return nullptr;
}

StreamFrame SimStream::Next(uint8_t*, bool restarted, uint64_t) {
    std::unique_lock lock(m_mutex);
    // The capture has copied the frame handed out last time: its buffer is free again.
    if (Slot* handed = Find(SlotState::Handed, false)) {
        handed->state = SlotState::Free;
    }
    if (restarted) {
        // A frame rendered ahead before the restart may have the old window or mode.
        ++m_generation;
    }
    Slot* ready = nullptr;
    for (;;) {
        for (Slot& slot : m_slots) {
            if (slot.state == SlotState::Ready && slot.generation != m_generation) {
                slot.state = SlotState::Free;
            }
        }
        ready = Find(SlotState::Ready, true);
        if (ready) {
            break;
        }
        if (!Find(SlotState::Rendering, true)) {
            m_wanted = true;
            m_changed.notify_all();
        }
        m_changed.wait(lock);
    }
    ready->state = SlotState::Handed;
    // The next frame is read out while this one is copied and handled.
    m_wanted = true;
    m_changed.notify_all();
    const Registers regs = ready->registers;
    const uint8_t* const pixels = ready->pixels.data();
    lock.unlock();

    StreamFrame frame{regs.window.width, regs.window.height, std::nullopt, pixels};
    if (!m_camera->Config().maxFps) {
        frame.readyAt = m_schedule.Next(regs, restarted, Clock::now());
    }
    return frame;
}

void SimStream::RenderLoop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_finished || (m_wanted && Find(SlotState::Free, false)); });
        if (m_finished) {
            return;
        }
        Slot& slot = *Find(SlotState::Free, false);
        slot.state = SlotState::Rendering;
        slot.generation = m_generation;
        m_wanted = false;
        lock.unlock();
        // The registers are read only now, after any restart that made this frame wanted.
        slot.registers = m_registers->Read();
        m_camera->Render(slot.registers, *m_context, slot.pixels.data());
        lock.lock();
        slot.state = slot.generation == m_generation ? SlotState::Ready : SlotState::Free;
        m_changed.notify_all();
    }
}

} // namespace ocusnap::detail::sim
