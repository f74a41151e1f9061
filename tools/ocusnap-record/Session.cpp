#include "Session.h"

#include "camera/Exposure.h"
#include "imaging/ChannelLuts.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

namespace ocurecord::tool {
namespace {

// A camera that delivers no first frame in this time ends the recording.
constexpr uint64_t kFirstFrameUs = 10000000;

// The driver's context is a token of the session, never its address: a callback still running when the
// session closes finds no session rather than a dead one.
std::mutex g_mutex;
Session* g_session = nullptr;
uint64_t g_token = 0;
uint64_t g_lastToken = 0;

} // namespace

Session::Session() = default;

Session::~Session() {
    Close();
}

bool Session::Start(const SessionOptions& options, std::string& error) {
    const auto fail = [&](const std::string& what, OCUSTATUS status) {
        error = what + ": " + OcuGetErrorString(status);
        Close();
        return false;
    };
    if (const OCUSTATUS s = options.camera ? BeginOcuDeviceById(options.camera->c_str(), &m_camera)
                                           : BeginOcuDevice(OCU_FIRST_DEVICE, &m_camera);
        s != OCU_OK) {
        m_camera = nullptr;
        return fail("Opening the camera", s);
    }
    int32_t type = 0;
    uint32_t size = sizeof type;
    if (const OCUSTATUS s = OcuGetDeviceInfo(m_camera, OCU_INFO_DEVICE_TYPE, &type, &size); s != OCU_OK)
        return fail("Reading the device type", s);
    size = 0;
    if (const OCUSTATUS s = OcuGetDeviceInfo(m_camera, OCU_INFO_RESOLUTIONS, nullptr, &size); s != OCU_OK)
        return fail("Reading the resolution table", s);
    std::vector<ResolutionEntry> modes(size / sizeof(ResolutionEntry));
    size = static_cast<uint32_t>(modes.size() * sizeof(ResolutionEntry));
    if (const OCUSTATUS s = OcuGetDeviceInfo(m_camera, OCU_INFO_RESOLUTIONS, modes.data(), &size);
        s != OCU_OK)
        return fail("Reading the resolution table", s);
    if (modes.empty())
        return fail("Reading the resolution table", OCU_ERR_INTERNAL);
    const ResolutionEntry full = modes.front();
    int32_t layout = OCU_BAYER_NONE;
    size = sizeof layout;
    if (OcuGetDeviceInfo(m_camera, OCU_INFO_BAYER_LAYOUT, &layout, &size) != OCU_OK)
        layout = OCU_BAYER_NONE;
    m_layout = layout;

    m_width = options.regionWidth > 0 ? options.regionWidth : full.nWidth;
    m_height = options.regionHeight > 0 ? options.regionHeight : full.nHeight;
    if (m_width % 4 != 0 || m_height % 2 != 0) {
        error = "The region " + std::to_string(m_width) + "x" + std::to_string(m_height) +
                " must be a multiple of 4 wide and of 2 high, as the viewer's is.";
        Close();
        return false;
    }
    if (m_width > full.nWidth || m_height > full.nHeight) {
        error = "The region " + std::to_string(m_width) + "x" + std::to_string(m_height) +
                " is larger than the camera's image, " + std::to_string(full.nWidth) + "x" +
                std::to_string(full.nHeight) + ".";
        Close();
        return false;
    }
    if (const OCUSTATUS s = OcuSetResolution(m_camera, 0); s != OCU_OK)
        return fail("Choosing the full resolution", s);
    if (const OCUSTATUS s = OcuSetOutputWindow(m_camera, 0, 0, m_width, m_height); s != OCU_OK)
        return fail("Setting the output window", s);
    if (const OCUSTATUS s = OcuSetSnapMode(m_camera, 0); s != OCU_OK)
        return fail("Choosing free-running delivery", s);
    if (options.exposureMs) {
        // The viewer's arithmetic, at the speed and blanking of a camera just opened (high, none).
        ocu::ExposureInput in;
        in.deviceType = type;
        in.snapSpeed = 1;
        in.width = m_width;
        in.hBlanking = 0;
        in.upper = static_cast<int>(std::lround(*options.exposureMs * 1000.0));
        in.lower = 1000000;
        if (const OCUSTATUS s = OcuAECControl(m_camera, 1, ocu::ExposureValue(in)); s != OCU_OK)
            return fail("Setting the exposure", s);
    }

    Options record = options.record;
    record.maxWidth = m_width;
    record.maxHeight = m_height;
    record.bayerLayout = layout;
    record.developRaw = !RecordsRawMosaic(record.target.format);
    record.develop.bayerLayout = layout;
    m_recorder = Recorder::Open(record, error);
    if (!m_recorder) {
        Close();
        return false;
    }

    m_minIntervalUs = options.maxRate > 0 ? static_cast<uint64_t>(1e6 / options.maxRate) : 0;
    m_buffer.assign(static_cast<size_t>(m_width) * static_cast<size_t>(m_height), 0);
    {
        const std::lock_guard lock(g_mutex);
        g_session = this;
        g_token = m_token = ++g_lastToken;
    }
    m_startUs = MonotonicMicroseconds();
    m_watch.Start(m_startUs);
    if (const OCUSTATUS s = OcuOpenSnap(m_camera, &Session::OnFrame, reinterpret_cast<void*>(m_token));
        s != OCU_OK)
        return fail("Opening the capture", s);
    m_capture = true;
    uint8_t* const buffers[] = {m_buffer.data()};
    if (const OCUSTATUS s = OcuStartSnap(m_camera, buffers, 1); s != OCU_OK)
        return fail("Starting the capture", s);
    return true;
}

int32_t Session::OnFrame(SnapInfo* info) {
    const std::lock_guard lock(g_mutex);
    if (info != nullptr && g_session != nullptr && reinterpret_cast<uint64_t>(info->pContext) == g_token)
        g_session->Deliver(*info);
    return 1;
}

void Session::Deliver(const SnapInfo& info) {
    const uint64_t now = MonotonicMicroseconds();
    m_watch.Frame(now);
    if (m_minIntervalUs != 0) {
        if (m_lastTakenUs != 0 && now - m_lastTakenUs < m_minIntervalUs)
            return;
        // On the rate's beat, unless the camera fell behind it: then from now.
        m_lastTakenUs = m_lastTakenUs == 0 || now - m_lastTakenUs >= 2 * m_minIntervalUs
                            ? now
                            : m_lastTakenUs + m_minIntervalUs;
    }
    Frame frame;
    frame.pixels = m_buffer.data();
    frame.width = info.nWidth;
    frame.height = info.nHeight;
    frame.cameraTimeUs = info.nTimestampUs;
    frame.hostTimeUs = now;
    m_recorder->Submit(frame);
}

void Session::Watch() {
    if (!m_recorder || m_recorder->Finished())
        return;
    const uint64_t now = MonotonicMicroseconds();
    if (m_watch.LastFrameUs() == 0 && now - m_startUs > kFirstFrameUs) {
        m_recorder->End(Outcome::CameraFailed, "The camera delivered no frame within " +
                                                   std::to_string(kFirstFrameUs / 1000000) + " seconds.");
        return;
    }
    if (m_watch.Lost(m_camera, 0, now))
        m_recorder->End(Outcome::CameraFailed, OcuGetErrorString(OCU_ERR_CAMERA_LOST));
}

void Session::Stop() {
    if (m_recorder)
        m_recorder->Stop();
}

bool Session::Finished() const {
    return !m_recorder || m_recorder->Finished();
}

Progress Session::GetProgress() const {
    return m_recorder ? m_recorder->GetProgress() : Progress{};
}

void Session::Close() {
    if (m_capture) {
        OcuCloseSnap(m_camera);
        m_capture = false;
    }
    {
        // After this no callback reaches the session, also one that was running through the close.
        const std::lock_guard lock(g_mutex);
        if (g_session == this) {
            g_session = nullptr;
            g_token = 0;
        }
    }
    if (m_recorder) {
        m_recorder->Stop();
        m_recorder->Wait();
    }
    if (m_camera != nullptr) {
        EndOcuDevice(m_camera);
        m_camera = nullptr;
    }
}

} // namespace ocurecord::tool
