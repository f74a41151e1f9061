// What the recording tests share: the simulated camera feeding a recorder with every frame kept, the files
// read back (the timestamp log, FFmpeg's decoder for videos).
#pragma once

#include "OcuRecord.h"
#include "OcuSnap.h"
#include "SmallDisk.h"
#include "TestSupport.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ocurecord::test {

using ocu::test::ScopedEnv;
using ocu::test::SmallDisk;
using ocu::test::TempDir;

// The simulated camera without noise, as fast as it renders, its disc moving so that every frame differs,
// Bayer layout GRBG.
struct ExactMovingSim {
    ScopedEnv camera{"OCUSNAP_CAMERA", "sim"};
    ScopedEnv noise{"OCUSNAP_SIM_NOISE", "0"};
    ScopedEnv freeze{"OCUSNAP_SIM_FREEZE", "0"};
    ScopedEnv fps{"OCUSNAP_SIM_FPS", "max"};
    ScopedEnv bayer{"OCUSNAP_BAYER", "GRBG"};
    ScopedEnv sensor{"OCUSNAP_SIM_SENSOR", std::nullopt};
};

inline constexpr int kGrbg = 2;

// The camera's frames handed to a recorder on the delivery thread, as ocusnap-record does, with a copy of
// every one the recorder took and the timestamps the driver gave.
class Feed {
public:
    struct Delivered {
        std::vector<uint8_t> pixels;
        uint64_t cameraUs = 0;
        uint64_t hostUs = 0;
    };

    // Opens camera 1 with a width x height window from the top-left corner.
    Feed(int width, int height);
    ~Feed();
    Feed(const Feed&) = delete;
    Feed& operator=(const Feed&) = delete;

    bool Opened() const { return m_camera != nullptr; }
    // Delivers into the recorder until it takes no more frames (its limit), then stops delivery and waits
    // for the recording to be complete. False when the camera could not deliver.
    bool RecordInto(Recorder& recorder);
    // The frames the recorder took, by their number.
    const std::map<uint64_t, Delivered>& Taken() const { return m_taken; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    static int32_t OnFrame(SnapInfo* info);

    OCUHANDLE m_camera = nullptr;
    int m_width;
    int m_height;
    std::vector<uint8_t> m_buffer;
    Recorder* m_recorder = nullptr;
    uint64_t m_next = 0;
    std::map<uint64_t, Delivered> m_taken;
};

// Frames of noise that no encoder can shrink, submitted from the calling thread until the recorder takes
// no more; returns the ones it took, by their number.
std::map<uint64_t, std::vector<uint8_t>> SubmitNoise(Recorder& recorder, int width, int height);

// Options for a recording of width x height frames into folder/stem.
Options RecordOptions(const std::string& folder, const std::string& stem, Format format, int width,
                      int height, Container container = Container::Matroska);

// The rows of a timestamp log.
struct LogRow {
    uint64_t frame = 0;
    std::optional<uint64_t> cameraUs;
    uint64_t hostUs = 0;
    int width = 0;
    int height = 0;
};
// The rows, or nullopt (and a test failure) when the header or a row is malformed.
std::optional<std::vector<LogRow>> ReadLog(const std::string& path);

// A video read back through FFmpeg's demuxer and decoder: each frame top-down, packed, as 8-bit gray
// (FFV1) or blue-green-red (anything else, converted from BT.709 studio range), with its time.
struct DecodedVideo {
    std::string codec;
    std::string pixelFormat;
    int width = 0;
    int height = 0;
    std::map<std::string, std::string> streamTags;
    std::vector<std::vector<uint8_t>> frames;
    std::vector<int64_t> timesUs; // presentation times, from 0
};
std::optional<DecodedVideo> DecodeVideo(const std::string& path);

// The display image of a raw GRBG frame as the recording develops it (Fast, no white balance), top-down.
std::vector<uint8_t> DevelopTopDown(const std::vector<uint8_t>& raw, int width, int height);
// A bottom-up image of 3-byte pixels turned top-down.
std::vector<uint8_t> FlipRows(const uint8_t* rows, int width, int height, int bytesPerPixel);
// Peak signal-to-noise ratio of two images of the same size, in dB (infinite when equal).
double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// The files in a folder whose names end in `extension`, sorted.
std::vector<std::string> FilesEndingIn(const std::string& folder, const std::string& extension);

} // namespace ocurecord::test
