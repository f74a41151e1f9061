// ocusnap-record's camera side: the driver's camera configured and streaming into a recorder, with no
// window. The tool, its tests and the benchmark drive the same code.
#pragma once

#include "OcuRecord.h"
#include "OcuSnap.h"
#include "camera/CameraWatch.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ocurecord::tool {

struct SessionOptions {
    // The driver's name for the camera, as OCUSNAP_CAMERA takes it ("sim", "aravis:ID"); none: the driver's
    // own choice.
    std::optional<std::string> camera;
    // Exposure time in milliseconds, sent through the viewer's exposure arithmetic; none: the camera's.
    std::optional<double> exposureMs;
    // The output window from the top-left corner of the sensor's full image; 0 x 0: the whole image.
    int regionWidth = 0;
    int regionHeight = 0;
    // Where and how to record. The target, the limit, the memory cap and the conversion are the caller's;
    // the frame size and the Bayer layout come from the camera.
    Options record;
    // Frames at most this often (benchmarks: a camera of that rate); 0: every frame the camera delivers.
    double maxRate = 0;
};

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens and sets up the camera, opens the recording and starts delivery; false with the reason when
    // any of it fails (nothing is recorded then).
    bool Start(const SessionOptions& options, std::string& error);
    // Call now and then (every 100 ms or so) while recording: ends the recording when the camera was lost
    // or never delivered a frame.
    void Watch();
    // Ends the recording (the frames waiting are still written).
    void Stop();
    bool Finished() const;
    Progress GetProgress() const;
    // Stops delivery, waits for the recording's files to be complete and closes the camera.
    void Close();

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int BayerLayout() const { return m_layout; }
    // What a test or the benchmark may look at: the handle of the open camera.
    OCUHANDLE Camera() const { return m_camera; }

    // The delivery callback.
    static int32_t OnFrame(SnapInfo* info);

private:
    void Deliver(const SnapInfo& info);

    OCUHANDLE m_camera = nullptr;
    bool m_capture = false;
    std::vector<uint8_t> m_buffer;
    std::unique_ptr<Recorder> m_recorder;
    int m_width = 0;
    int m_height = 0;
    int m_layout = 0;
    uint64_t m_minIntervalUs = 0;
    uint64_t m_lastTakenUs = 0; // the delivery thread's
    uint64_t m_startUs = 0;
    ocu::CameraWatch m_watch;
    uint64_t m_token = 0;
};

} // namespace ocurecord::tool
