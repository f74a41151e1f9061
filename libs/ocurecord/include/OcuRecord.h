// OcuRecord: recordings of a camera's frames: sequences of frame files and video files, each with a
// timestamp log beside it. The viewer and ocusnap-record write through this one library; it knows
// nothing of Qt or of the camera driver.
//
// Frames are handed to a Recorder, which copies each into one of a fixed set of slots and returns at
// once; a writer thread of its own writes them out. When every slot is taken (the disk or the encoder
// cannot keep up) the frame is dropped and counted: Submit never waits for the disk. Nothing is
// allocated per frame on the way from Submit to the writer.
//
// Threading: Submit is called from one thread at a time (the thread that receives the frames); Stop,
// End, GetProgress, Finished and Wait may be called from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ocurecord {

enum class Format {
    Raw,  // one raw file per frame: the 8-bit Bayer mosaic behind its width and height
    Ffv1, // the Bayer mosaic as 8-bit gray, losslessly in FFV1, in Matroska
    H264, // the display image in H.264, in MP4 or Matroska
    Bmp,  // one BMP file per display image
    Jpeg  // one JPEG file per display image
};

enum class Container { Matroska, Mp4 };

// Whether the format records the raw mosaic (else the display image).
bool RecordsRawMosaic(Format format);
// Whether the format writes one file per frame (else one video file).
bool IsSequence(Format format);
// "raw", "ffv1", "h264", "bmp", "jpeg", and back.
const char* FormatName(Format format);
std::optional<Format> ParseFormat(std::string_view name);
// The extension of the format's files, with its dot: ".raw", ".mkv", ".mp4", ".bmp", ".jpg".
const char* FileExtension(Format format, Container container);

// Where a recording goes: sequences are folder/stem_000000.raw, folder/stem_000001.raw, ...; a video is
// folder/stem.mkv (or .mp4). The timestamp log is folder/stem.csv in both cases.
struct Target {
    std::string folder;
    std::string stem;
    Format format = Format::Raw;
    Container container = Container::Matroska; // H.264 only: FFV1 is always in Matroska
};

// The files of a target.
std::string LogPath(const Target& target);
std::string VideoPath(const Target& target);
std::string FramePath(const Target& target, uint64_t index);

// A recording ends by itself after this many frames the camera delivered (dropped ones included), or
// once this many seconds have passed since the first frame; 0 for no limit.
struct Limit {
    uint64_t frames = 0;
    double seconds = 0;
};

using ChannelTables = std::array<std::array<uint8_t, 256>, 3>;

// Red, green and blue tables that leave every level as it is.
constexpr ChannelTables IdentityTables() {
    ChannelTables tables{};
    for (auto& table : tables)
        for (size_t i = 0; i < table.size(); ++i)
            table[i] = static_cast<uint8_t>(i);
    return tables;
}

// How display-image formats make the display image when they are given the raw mosaic (ocusnap-record):
// the raw-image library's Bayer conversion through three channel tables, as the viewer does. The width
// must then be a multiple of 4 and the height of 2, as the viewer's region is.
struct Develop {
    int bayerLayout = 1; // 1 GBRG, 2 GRBG, 3 BGGR, 4 RGGB; 0: a monochrome sensor, shown as gray
    int conversion = 1;  // 1 Fast, 3 Normal, 4 EDGESENSING, 6 Best
    ChannelTables luts = IdentityTables();
};

inline constexpr size_t kDefaultMemoryCap = size_t{512} << 20;
inline constexpr uint64_t kDefaultReserveBytes = uint64_t{16} << 20;

struct Options {
    Target target;
    Limit limit;
    // The frames waiting for the writer may take this much memory; it fixes the number of slots.
    size_t memoryCap = kDefaultMemoryCap;
    // The largest frame that will be submitted.
    int maxWidth = 0;
    int maxHeight = 0;
    // Display-image formats: the frames submitted are raw mosaics that the writer develops (else they are
    // the display images themselves).
    bool developRaw = false;
    Develop develop;
    // The mosaic's layout, kept in FFV1 videos (0: monochrome).
    int bayerLayout = 0;
    // Space kept free in the folder from the start, given up when the disk fills so that the frame being
    // written, the timestamp log and the video's end still fit.
    uint64_t reserveBytes = kDefaultReserveBytes;
};

// One frame as Submit takes it; its pixels are copied before Submit returns.
struct Frame {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    // Raw mosaic: 8 bits, rows packed, top row first. Display image: 8 (gray, or indices into the colour
    // table) or 24 (blue, green, red) bits, rows bottom-up, each padded to a multiple of 4 bytes.
    bool display = false;
    int bitCount = 8;
    const uint8_t* colourTable = nullptr; // 256 blue-green-red-reserved entries; null: the gray ramp
    uint64_t cameraTimeUs = 0;            // the driver's timestamp, 0 when it has none
    uint64_t hostTimeUs = 0;              // MonotonicMicroseconds() when the frame arrived
};

// Microseconds of the monotonic clock (CLOCK_MONOTONIC), the clock the driver's timestamps use.
uint64_t MonotonicMicroseconds();

enum class Submitted {
    Taken,   // copied into a slot; the writer will write it
    Dropped, // counted as dropped: no slot was free, or the frame does not fit the recording
    Refused  // the recording takes no more frames (stopped, limit reached, failed)
};

enum class Outcome {
    Running,
    Stopped,      // Stop()
    LimitReached, // the frame count or the duration
    DiskFull,     // the disk filled up; everything written up to then is whole
    WriteFailed,  // another failure of writing or encoding
    CameraFailed  // End(Outcome::CameraFailed, ...): the caller's camera was lost or went silent
};

enum class State {
    Recording, // taking frames
    Finishing, // takes no more frames; the writer writes those waiting and closes the files
    Finished
};

struct Progress {
    State state = State::Recording;
    Outcome outcome = Outcome::Running;
    std::string message;    // why the recording ended, when not by Stop() or its limit
    std::string note;       // why frames were dropped other than for want of a slot, when they were
    uint64_t offered = 0;   // frames submitted since the start (taken and dropped)
    uint64_t written = 0;   // frames written: the rows of the timestamp log
    uint64_t dropped = 0;   // frames not written, each counted once
    uint64_t waiting = 0;   // frames in slots, not yet written
    uint64_t slotCount = 0; // frames that can wait
    uint64_t bytes = 0;     // bytes written to the files
    double seconds = 0;     // since the first frame (until the end)
    int64_t freeBytes = -1; // free space in the folder, -1 when unknown
};

class Recorder {
public:
    // Checks the target and sets the recording up: the folder must be there and writable, none of the
    // recording's files may exist, the slots must hold two frames at least. On failure returns null and
    // says why in `error`; nothing is left behind.
    static std::unique_ptr<Recorder> Open(const Options& options, std::string& error);
    // Ends the recording as Stop() does and waits for the writer.
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    Submitted Submit(const Frame& frame);
    // Takes no more frames; those waiting are still written, then the files are closed.
    void Stop();
    // Ends the recording for a reason of the caller's (a lost camera): as Stop(), with the outcome and
    // message the progress then shows. The first reason to end a recording is the one kept.
    void End(Outcome outcome, const std::string& message);

    Progress GetProgress() const;
    bool Finished() const;
    // Until the writer has closed every file.
    void Wait();

    const Options& GetOptions() const;

private:
    struct Impl;
    explicit Recorder(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

} // namespace ocurecord
