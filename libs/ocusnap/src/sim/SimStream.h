// The frames of one capture of the simulated camera, read out ahead like a real sensor's: while the
// receiver handles frame N, the stream's render thread produces frame N+1 into the other of two
// buffers. The capture copies a frame into the caller's buffer only between callbacks, as before; what
// runs during the callback is the rendering, into the stream's own buffers.
#pragma once

#include "../CameraDevice.h"
#include "../Capture.h"

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ocusnap::detail::sim {

class SimCamera;
struct RenderContext;

inline Clock::duration Seconds(double s) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

// When frames are ready, on the sensor's beat: free running at the frame period, or one frame per
// external trigger in snap mode 1. A frame read out while the receiver still holds the previous one
// waits in the sensor's spare buffer and goes out as soon as the receiver is back; the spare buffer
// keeps the latest such frame, the ones before it are lost.
class SimSchedule {
public:
    explicit SimSchedule(int32_t deviceType) : m_deviceType(deviceType) {}
    // The readout end of the next frame, asked for at `now`.
    Clock::time_point Next(const Registers& registers, bool restarted, Clock::time_point now);

private:
    const int32_t m_deviceType;
    Clock::time_point m_lastReady{};
    Clock::time_point m_lastTrigger{};
};

class SimStream final : public FrameStream {
public:
    SimStream(std::shared_ptr<SimCamera> camera, std::shared_ptr<const RegisterFile> registers);
    ~SimStream() override;
    SimStream(const SimStream&) = delete;
    SimStream& operator=(const SimStream&) = delete;

    StreamFrame Next(uint8_t* scratch, bool restarted, uint64_t request) override;
    bool UsesScratch() const override { return false; }
    void Finish() override;

private:
    enum class SlotState { Free, Rendering, Ready, Handed };
    struct Slot {
        std::vector<uint8_t> pixels;
        Registers registers;     // those the frame was rendered with
        uint64_t generation = 0; // frames of an older generation were rendered before a restart
        SlotState state = SlotState::Free;
    };

    void RenderLoop();
    Slot* Find(SlotState state, bool currentOnly);

    const std::shared_ptr<SimCamera> m_camera;
    const std::shared_ptr<const RegisterFile> m_registers;
    const std::unique_ptr<RenderContext> m_context; // the render thread's
    SimSchedule m_schedule;                         // the delivery thread's

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::array<Slot, 2> m_slots;
    uint64_t m_generation = 0;
    bool m_wanted = false; // the delivery thread wants one more frame rendered
    bool m_finished = false;
    std::thread m_renderer;
};

} // namespace ocusnap::detail::sim
