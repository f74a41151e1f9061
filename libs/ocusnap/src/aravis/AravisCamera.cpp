#include "AravisCamera.h"

#include "../ExposureTiming.h"
#include "System.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace ocusnap::detail::aravis {

namespace {

using namespace std::chrono_literals;

constexpr int kBuffers = 6;
// Exposure values stand for times through the arithmetic of this model, the most general one.
constexpr int32_t kDeviceType = 3;

void OnControlLost(ArvDevice*, gpointer data) {
    (*static_cast<std::shared_ptr<Link>*>(data))->MarkLost();
}

bool ExposureInputsDiffer(const Registers& a, const Registers& b) {
    return a.exposure != b.exposure || a.window.width != b.window.width || a.hBlanking != b.hBlanking ||
           a.snapSpeed != b.snapSpeed;
}

Capabilities CapabilitiesOf(const Profile& profile) {
    Capabilities caps;
    caps.deviceType = kDeviceType;
    for (const ModeGeometry& mode : profile.modes) {
        caps.resolutions.push_back({mode.width, mode.height});
    }
    caps.blankingLimits = profile.blankingLimits;
    // The viewer offers snap speed on every camera of this type, and its exposure arithmetic counts in
    // the speed's pixel clock: the setting is kept for the inverse even where the camera has nothing
    // to send it to, or the exposure time would double or halve with each switch.
    caps.hasSnapSpeed = true;
    caps.bayerLayout = profile.bayerLayout;
    return caps;
}

} // namespace

OCUSTATUS AravisCamera::Open(const std::string& id, unsigned index, std::shared_ptr<AravisCamera>& camera,
                             std::string& openedId, std::string& problem) {
    GObjectPtr<ArvCamera> opened;
    {
        std::lock_guard lock(SystemMutex());
        // A camera known by its id is asked for directly (on GigE Vision Aravis looks for that one
        // camera alone): the full search takes a second and is only needed to count cameras.
        if (const OCUSTATUS s = id.empty() ? RefreshCameraList() : SelectInterfaces(); s != OCU_OK) {
            return s;
        }
        openedId = id;
        if (openedId.empty()) {
            if (index >= arv_get_n_devices()) {
                return OCU_ERR_NO_CAMERA;
            }
            openedId = arv_get_device_id(index);
        }
        GErrorHolder error;
        opened.reset(arv_camera_new(openedId.c_str(), error.Out()));
        if (!opened) {
            const bool absent = error && error.Get()->domain == ARV_DEVICE_ERROR &&
                                error.Get()->code == ARV_DEVICE_ERROR_NOT_FOUND;
            return absent ? OCU_ERR_NO_CAMERA : OCU_ERR_DEVICE_OPEN;
        }
    }
    // A GigE Vision camera that another program controls still answers reads, but writes go unanswered
    // or are refused, so that it would pass for a lost camera after seconds of them; it is in use.
    ArvDevice* device = arv_camera_get_device(opened.get());
    if (ARV_IS_GV_DEVICE(device) && !arv_gv_device_is_controller(ARV_GV_DEVICE(device))) {
        problem = "another program controls it, on this computer or another";
        return OCU_ERR_DEVICE_OPEN;
    }
    Features features(opened.get());
    GErrorHolder error;
    arv_camera_stop_acquisition(opened.get(), error.Out()); // left running by an earlier program
    Profile profile;
    if (!ProbeProfile(features, profile, problem)) {
        return features.ConnectionFailed() ? OCU_ERR_CAMERA_LOST : OCU_ERR_DEVICE_OPEN;
    }
    camera = std::make_shared<AravisCamera>(Key{}, std::move(opened), std::move(profile));
    std::lock_guard lock(camera->m_mutex);
    const OCUSTATUS status = camera->ApplyAll(PowerOnRegisters(camera->m_caps), true);
    return status == OCU_OK ? OCU_OK : OCU_ERR_DEVICE_OPEN;
}

AravisCamera::AravisCamera(Key, GObjectPtr<ArvCamera> camera, Profile profile)
    : m_camera(std::move(camera)), m_features(m_camera.get()), m_profile(std::move(profile)),
      m_caps(CapabilitiesOf(m_profile)), m_link(std::make_shared<Link>()),
      m_channel(std::make_shared<Channel>(m_link, kBuffers)) {
    m_lostSignal =
        g_signal_connect_data(arv_camera_get_device(m_camera.get()), "control-lost",
                              G_CALLBACK(OnControlLost), NewLinkRef(m_link), ReleaseLinkRef, GConnectFlags{});
}

AravisCamera::~AravisCamera() {
    Shutdown();
}

bool AravisCamera::Lost() const {
    std::lock_guard lock(m_link->mutex);
    return m_link->lost;
}

OCUSTATUS AravisCamera::Failure(OCUSTATUS refusal) {
    if (m_features.ConnectionFailed()) {
        m_link->MarkLost();
    }
    return Lost() ? OCU_ERR_CAMERA_LOST : refusal;
}

OCUSTATUS AravisCamera::InjectedFault(Operation) const {
    return Lost() ? OCU_ERR_CAMERA_LOST : OCU_OK;
}

OCUSTATUS AravisCamera::Configure(const Registers& next) {
    std::lock_guard lock(m_mutex);
    if (!m_camera) {
        return OCU_ERR_INVALID_HANDLE;
    }
    return ApplyAll(next, false);
}

OCUSTATUS AravisCamera::ApplyAll(const Registers& next, bool everything) {
    if (Lost()) {
        return OCU_ERR_CAMERA_LOST;
    }
    if (next.snapMode == 1 && m_profile.triggerSource.empty()) {
        return OCU_ERR_NOT_SUPPORTED;
    }
    const Registers& was = m_applied;
    const bool geometry = everything || next.mode != was.mode || next.window != was.window;
    if (geometry) {
        if (const OCUSTATUS s = ApplyGeometry(next); s != OCU_OK) {
            return s;
        }
    }
    // Settings the camera does not take are accepted and left aside, as the README's table says.
    const bool trigger = everything || next.snapMode != was.snapMode;
    if (trigger) {
        ApplyTrigger(next.snapMode);
    }
    if (everything || next.snapSpeed != was.snapSpeed) {
        ApplySpeed(next);
    }
    if (everything || ExposureInputsDiffer(next, was)) {
        ApplyExposure(next);
    }
    if (everything || next.gain != was.gain) {
        ApplyGains(next);
    }
    // A trigger change may have switched the frame-rate limit off.
    if (everything || geometry || trigger || next.vBlanking != was.vBlanking ||
        next.hBlanking != was.hBlanking) {
        ApplyBlanking(next);
    }
    if (m_profile.digitalShift && (everything || next.adcLevel != was.adcLevel)) {
        m_features.SetNumber("DigitalShift", next.adcLevel);
    }
    if (m_features.ConnectionFailed()) {
        return Failure(OCU_OK);
    }
    m_applied = next;
    std::lock_guard lock(m_link->mutex);
    m_link->layout.adcLevel = next.adcLevel;
    return OCU_OK;
}

OCUSTATUS AravisCamera::ApplyGeometry(const Registers& next) {
    // Region and binning are locked while the camera streams.
    const bool resume = m_acquiring;
    GErrorHolder error;
    if (resume) {
        arv_camera_stop_acquisition(m_camera.get(), error.Out());
        m_features.Succeeded(error.Get());
    }
    auto write = [&](const Registers& r) -> std::optional<FrameLayout> {
        const ModeGeometry& mode = m_profile.modes.at(static_cast<size_t>(r.mode));
        ResetOffsets(m_features);
        ApplyReduction(m_features, mode);
        const auto limits = RegionLimits(m_features, m_profile.bayerLayout != OCU_BAYER_NONE);
        if (!limits) {
            return std::nullopt;
        }
        const int64_t left = int64_t{mode.originX} + r.window.left;
        const int64_t top = int64_t{mode.originY} + r.window.top;
        const auto x = ContainingSpan(left, r.window.width, limits->first);
        const auto y = ContainingSpan(top, r.window.height, limits->second);
        if (!x || !y || !m_features.SetNumber("Width", static_cast<double>(x->size)) ||
            !m_features.SetNumber("Height", static_cast<double>(y->size))) {
            return std::nullopt;
        }
        for (const auto& [name, value] : {std::pair{"OffsetX", x->offset}, std::pair{"OffsetY", y->offset}}) {
            if (value != 0 && !m_features.SetNumber(name, static_cast<double>(value))) {
                return std::nullopt;
            }
        }
        // What the camera took, which must still cover the window.
        const auto width = m_features.Number("Width");
        const auto height = m_features.Number("Height");
        const double offsetX = m_features.Has("OffsetX") ? m_features.Number("OffsetX").value_or(-1) : 0;
        const double offsetY = m_features.Has("OffsetY") ? m_features.Number("OffsetY").value_or(-1) : 0;
        if (!width || !height || offsetX < 0 || offsetY < 0 || offsetX > left || offsetY > top ||
            offsetX + *width < left + std::max(r.window.width, 1) ||
            offsetY + *height < top + std::max(r.window.height, 1)) {
            return std::nullopt;
        }
        FrameLayout layout;
        layout.regionWidth = static_cast<int32_t>(*width);
        layout.regionHeight = static_cast<int32_t>(*height);
        layout.pixelFormat = m_profile.pixelFormatValue;
        layout.samples.bufferWidth = layout.regionWidth;
        layout.samples.bytesPerSample = m_profile.bytesPerSample;
        layout.samples.significantBits = m_profile.significantBits;
        layout.samples.cropX = static_cast<int32_t>(left - static_cast<int64_t>(offsetX));
        layout.samples.cropY = static_cast<int32_t>(top - static_cast<int64_t>(offsetY));
        layout.samples.width = r.window.width;
        layout.samples.height = r.window.height;
        layout.adcLevel = r.adcLevel;
        layout.cameraShifts = m_profile.digitalShift;
        return layout;
    };
    std::optional<FrameLayout> layout = write(next);
    OCUSTATUS status = OCU_OK;
    if (layout) {
        std::lock_guard lock(m_link->mutex);
        m_link->layout = *layout;
    } else {
        status = Failure(OCU_ERR_INVALID_ARGUMENT);
        if (status != OCU_ERR_CAMERA_LOST) {
            write(m_applied); // back to the window the camera had; it was taken once
        }
    }
    if (resume && status != OCU_ERR_CAMERA_LOST) {
        // A new payload needs a new stream before the camera sends it.
        PrepareChannel(OCU_ERR_CAPTURE_START);
        arv_camera_start_acquisition(m_camera.get(), error.Out());
        m_features.Succeeded(error.Get());
    }
    return status;
}

void AravisCamera::ApplyExposure(const Registers& next) {
    if (!m_profile.hasExposure) {
        return;
    }
    GErrorHolder error;
    double min = 0;
    double max = 0;
    arv_camera_get_exposure_time_bounds(m_camera.get(), &min, &max, error.Out());
    if (!m_features.Succeeded(error.Get())) {
        return;
    }
    const double us = std::clamp(ExposureSeconds(kDeviceType, next) * 1e6, min, std::max(min, max));
    arv_camera_set_exposure_time(m_camera.get(), us, error.Out());
    m_features.Succeeded(error.Get());
}

void AravisCamera::ApplyGains(const Registers& next) {
    const double red = next.gain[kGainRed];
    const double green = (next.gain[kGainGreenRedRow] + next.gain[kGainGreenBlueRow]) / 2.0;
    const double blue = next.gain[kGainBlue];
    auto setGain = [&](double gain) {
        const char* name = m_profile.gainFeature.c_str();
        const auto range = m_features.Range(name);
        if (!range) {
            return;
        }
        m_features.SetNumber(name, GainFeatureValue(m_profile.gainScale, gain, range->min, range->max));
    };
    auto setRatio = [&](const char* colour, double ratio) {
        if (m_features.SetEnum("BalanceRatioSelector", colour)) {
            m_features.SetNumber("BalanceRatio", ratio);
        }
    };
    switch (m_profile.gainPath) {
    case GainPath::PerChannel:
        for (const auto& [selector, gain] : {std::pair{0, red}, std::pair{1, green}, std::pair{2, blue}}) {
            if (m_features.SetEnum("GainSelector",
                                   m_profile.gainSelectors[static_cast<size_t>(selector)].c_str())) {
                setGain(gain);
            }
        }
        break;
    case GainPath::BalanceRatio:
        if (!m_profile.gainFeature.empty()) {
            // The greens set the level, red and blue follow them.
            setGain(green);
            setRatio("Red", green > 0 ? red / green : 1.0);
            setRatio("Blue", green > 0 ? blue / green : 1.0);
            if (m_profile.balanceHasGreen) {
                setRatio("Green", 1.0);
            }
        } else {
            setRatio("Red", GainFactor(red));
            setRatio("Blue", GainFactor(blue));
            if (m_profile.balanceHasGreen) {
                setRatio("Green", GainFactor(green));
            }
        }
        break;
    case GainPath::Global:
        setGain(green);
        break;
    case GainPath::None:
        break;
    }
}

void AravisCamera::ApplyBlanking(const Registers& next) {
    if (!m_profile.hBlankingFeature.empty()) {
        m_features.SetNumber(m_profile.hBlankingFeature.c_str(), next.hBlanking);
    }
    if (!m_profile.vBlankingFeature.empty()) {
        m_features.SetNumber(m_profile.vBlankingFeature.c_str(), next.vBlanking);
        return;
    }
    if (m_profile.framePeriodFeature.empty()) {
        return;
    }
    int64_t lines = 0;
    {
        std::lock_guard lock(m_link->mutex);
        lines = m_link->layout.regionHeight;
    }
    const double periodUs = BlankedFramePeriod(m_profile.baseFramePeriodUs, lines, next.vBlanking);
    // The limit is on while blanking asks for one, or when the camera had it on; Aravis switches it
    // off with every trigger change, so it is set every time.
    if (m_profile.frameRateEnabledAtOpen) {
        m_features.SetBool("AcquisitionFrameRateEnable",
                           next.vBlanking > 0 || *m_profile.frameRateEnabledAtOpen);
    }
    if (m_profile.framePeriodFeature == "AcquisitionFramePeriod") {
        m_features.SetNumber("AcquisitionFramePeriod", periodUs);
        return;
    }
    m_features.SetNumber("AcquisitionFrameRate", 1e6 / periodUs);
}

void AravisCamera::ApplySpeed(const Registers& next) {
    if (m_profile.speedFeature.empty()) {
        return;
    }
    const char* name = m_profile.speedFeature.c_str();
    if (const auto range = m_features.Range(name)) {
        // High speed is the fastest the camera allows, normal speed half of it.
        m_features.SetNumber(name, next.snapSpeed == 1 ? range->max : std::max(range->min, range->max / 2));
    }
}

OCUSTATUS AravisCamera::ApplyTrigger(int32_t snapMode) {
    GErrorHolder error;
    if (snapMode == 1 && !m_profile.triggerSource.empty()) {
        arv_camera_set_trigger(m_camera.get(), m_profile.triggerSource.c_str(), error.Out());
    } else if (m_profile.hasTriggerMode) {
        arv_camera_clear_triggers(m_camera.get(), error.Out());
    }
    return m_features.Succeeded(error.Get()) ? OCU_OK : Failure(OCU_ERR_NOT_SUPPORTED);
}

OCUSTATUS AravisCamera::PrepareChannel(OCUSTATUS refusal) {
    GErrorHolder error;
    const guint payload = arv_camera_get_payload(m_camera.get(), error.Out());
    if (!m_features.Succeeded(error.Get()) || !m_channel->Prepare(m_camera.get(), payload, error)) {
        m_features.Succeeded(error.Get());
        return Failure(refusal);
    }
    return OCU_OK;
}

void AravisCamera::RestoreTrigger() {
    ApplyTrigger(m_applied.snapMode);
    ApplyBlanking(m_applied);
}

std::unique_ptr<FrameStream> AravisCamera::OpenStream(std::shared_ptr<const RegisterFile>) {
    std::lock_guard lock(m_mutex);
    if (!m_camera || Lost() || PrepareChannel(OCU_ERR_CAPTURE_OPEN) != OCU_OK) {
        return nullptr;
    }
    return std::make_unique<ChannelStream>(m_channel, m_link);
}

OCUSTATUS AravisCamera::StartAcquisition() {
    std::lock_guard lock(m_mutex);
    if (!m_camera) {
        return OCU_ERR_INVALID_HANDLE;
    }
    if (Lost()) {
        return OCU_ERR_CAMERA_LOST;
    }
    if (m_acquiring) {
        return OCU_OK;
    }
    if (const OCUSTATUS s = PrepareChannel(OCU_ERR_CAPTURE_START); s != OCU_OK) {
        return s;
    }
    GErrorHolder error;
    arv_camera_start_acquisition(m_camera.get(), error.Out());
    if (!m_features.Succeeded(error.Get())) {
        return Failure(OCU_ERR_CAPTURE_START);
    }
    m_acquiring = true;
    return OCU_OK;
}

void AravisCamera::StopAcquisition() {
    std::lock_guard lock(m_mutex);
    if (!m_acquiring) {
        return;
    }
    m_acquiring = false;
    if (m_camera && !Lost()) {
        GErrorHolder error;
        arv_camera_stop_acquisition(m_camera.get(), error.Out());
        m_features.Succeeded(error.Get());
    }
}

OCUSTATUS AravisCamera::Snap(const Registers&, uint8_t* destination) {
    std::lock_guard lock(m_mutex);
    if (!m_camera) {
        return OCU_ERR_INVALID_HANDLE;
    }
    if (Lost()) {
        return OCU_ERR_CAMERA_LOST;
    }
    if (const OCUSTATUS s = PrepareChannel(OCU_ERR_SNAPSHOT); s != OCU_OK) {
        return s;
    }
    const std::shared_ptr<Channel> channel = m_channel;
    GErrorHolder error;
    const bool software = m_profile.softwareTrigger;
    if (software) {
        arv_camera_set_trigger(m_camera.get(), "Software", error.Out());
        m_features.Succeeded(error.Get());
    }
    arv_camera_start_acquisition(m_camera.get(), error.Out());
    if (!m_features.Succeeded(error.Get())) {
        RestoreTrigger();
        return Failure(OCU_ERR_SNAPSHOT);
    }
    Channel::Result result = Channel::Result::TimedOut;
    {
        std::lock_guard consumer(channel->ConsumerMutex());
        channel->Flush(); // frames read out before this call are not the one asked for
        const auto exposure = std::chrono::duration<double>(ExposureSeconds(kDeviceType, m_applied));
        const Clock::time_point deadline =
            Clock::now() + 3s + std::chrono::duration_cast<Clock::duration>(2 * exposure);
        // A triggered frame that lost packets on the way, or a trigger the camera missed while it was
        // still sending, is asked for again while there is time: on a poor link most single frames would
        // fail otherwise.
        const auto attempt = 500ms + std::chrono::duration_cast<Clock::duration>(2 * exposure);
        bool again = false;
        do {
            if (software) {
                arv_camera_software_trigger(m_camera.get(), error.Out());
                m_features.Succeeded(error.Get());
            }
            Channel::Delivered delivered;
            const Clock::time_point until = software ? std::min(deadline, Clock::now() + attempt) : deadline;
            result = channel->NextFrame(destination, delivered, until, false, software);
            again = (result == Channel::Result::Incomplete || result == Channel::Result::TimedOut) &&
                    !m_features.ConnectionFailed() && Clock::now() < deadline;
        } while (again);
    }
    arv_camera_stop_acquisition(m_camera.get(), error.Out());
    m_features.Succeeded(error.Get());
    RestoreTrigger();
    switch (result) {
    case Channel::Result::Frame:
        return OCU_OK;
    case Channel::Result::Lost:
        return OCU_ERR_CAMERA_LOST;
    default:
        return Failure(OCU_ERR_TIMEOUT);
    }
}

void AravisCamera::Shutdown() {
    std::lock_guard lock(m_mutex);
    if (!m_camera) {
        return;
    }
    if (m_acquiring && !Lost()) {
        GErrorHolder error;
        arv_camera_stop_acquisition(m_camera.get(), error.Out());
    }
    m_acquiring = false;
    g_signal_handler_disconnect(arv_camera_get_device(m_camera.get()), m_lostSignal);
    if (Lost()) {
        // Aravis takes its leave of a camera with retries that a lost camera never answers (seconds of
        // them on GigE Vision): that goes on aside, not on the caller's thread, which is a window's.
        std::thread([camera = std::move(m_camera), channel = std::move(m_channel)]() mutable {
            channel.reset();
            camera.reset();
        }).detach();
        return;
    }
    m_channel.reset(); // a capture still finishing its last callback keeps the stream until it ends
    m_camera.reset();
}

bool AravisCamera::WithCamera(const std::function<void(ArvCamera*)>& use) {
    std::lock_guard lock(m_mutex);
    if (!m_camera) {
        return false;
    }
    use(m_camera.get());
    return true;
}

std::shared_ptr<Channel> AravisCamera::StreamChannel() {
    std::lock_guard lock(m_mutex);
    return m_channel;
}

void AravisCamera::SignalControlLost() {
    std::lock_guard lock(m_mutex);
    if (m_camera) {
        g_signal_emit_by_name(arv_camera_get_device(m_camera.get()), "control-lost");
    }
}

} // namespace ocusnap::detail::aravis
