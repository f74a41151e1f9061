// A GenICam camera reached through Aravis, as a camera model of CameraDevice: the registers go to the
// camera's features when they are set, and frames come from its stream.
//
// Every feature access runs under the camera's own lock: Aravis's feature tree is not thread-safe,
// and a single frame is taken outside the device's lock. Aravis's own threads (the stream's, the
// heartbeat's) only touch the Link, never the camera.
#pragma once

#include "../CameraDevice.h"
#include "Channel.h"
#include "Features.h"
#include "GObjectPtr.h"
#include "Profile.h"

#include <arv.h>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace ocusnap::detail::aravis {

class AravisCamera final : public Sensor {
    // Only Open makes a camera (it probes it first); the key lets it do so through make_shared.
    struct Key {
        explicit Key() = default;
    };

public:
    AravisCamera(Key, GObjectPtr<ArvCamera> camera, Profile profile);
    // Opens the camera Aravis knows by `id`, or when `id` is empty the one at `index` (0 the first) of
    // the cameras found.
    // `problem` names what a camera that cannot serve the driver lacks.
    static OCUSTATUS Open(const std::string& id, unsigned index, std::shared_ptr<AravisCamera>& camera,
                          std::string& openedId, std::string& problem);
    ~AravisCamera() override;

    const Capabilities& Caps() const override { return m_caps; }
    std::unique_ptr<FrameStream> OpenStream(std::shared_ptr<const RegisterFile> registers) override;
    OCUSTATUS Snap(const Registers& registers, uint8_t* destination) override;
    OCUSTATUS InjectedFault(Operation operation) const override;
    OCUSTATUS Configure(const Registers& next) override;
    OCUSTATUS StartAcquisition() override;
    void StopAcquisition() override;
    void Shutdown() override;

    // Runs `use` with the Aravis camera under the camera's lock (tests read features back this way).
    // False once the camera has been let go.
    bool WithCamera(const std::function<void(ArvCamera*)>& use);
    // What Aravis signals when a camera stops answering (tests: a camera unplugged mid-stream).
    void SignalControlLost();
    // The camera's stream and buffers (tests count the streams made and the frames dropped).
    std::shared_ptr<Channel> StreamChannel();

private:
    bool Lost() const;
    // The status for a failed access: the camera is gone, or it refused.
    OCUSTATUS Failure(OCUSTATUS refusal);
    OCUSTATUS ApplyGeometry(const Registers& next);
    void ApplyExposure(const Registers& next);
    void ApplyGains(const Registers& next);
    void ApplyBlanking(const Registers& next);
    void ApplySpeed(const Registers& next);
    OCUSTATUS ApplyTrigger(int32_t snapMode);
    // The snap mode's trigger and the frame-rate limit back, after a single frame's software trigger.
    void RestoreTrigger();
    OCUSTATUS ApplyAll(const Registers& next, bool everything);
    // The channel's stream made for the camera's payload now; `refusal` when that fails.
    OCUSTATUS PrepareChannel(OCUSTATUS refusal);

    std::mutex m_mutex;
    GObjectPtr<ArvCamera> m_camera; // null once shut down
    Features m_features;
    const Profile m_profile;
    Capabilities m_caps;
    const std::shared_ptr<Link> m_link;
    std::shared_ptr<Channel> m_channel; // null once shut down
    gulong m_lostSignal = 0;
    Registers m_applied;
    bool m_acquiring = false;
};

} // namespace ocusnap::detail::aravis
