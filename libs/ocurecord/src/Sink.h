// What the writer thread hands a format: one frame at a time, then the end.
#pragma once

#include "Disk.h"
#include "OcuRecord.h"

#include <cstdint>
#include <memory>
#include <string>

namespace ocurecord::detail {

// A frame in its slot, as the writer sees it.
struct SlotFrame {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    bool display = false;
    int bitCount = 8;
    const uint8_t* colourTable = nullptr; // 8-bit display images: 1024 bytes
    uint64_t index = 0;                   // among the frames the camera delivered
    uint64_t cameraUs = 0;
    uint64_t hostUs = 0;
};

class Sink {
public:
    virtual ~Sink() = default;
    // Writes one frame; adds the bytes that went to the disk. False with the reason on failure; the
    // frame is then not in the recording.
    virtual bool Write(const SlotFrame& frame, uint64_t& bytes, std::string& error) = 0;
    // Completes the files (a video's end); false with the reason on failure.
    virtual bool Finish(uint64_t& bytes, std::string& error) = 0;
    // Removes what the format created when no frame was written.
    virtual void RemoveEmpty() {}
};

// The names of a recording's files inside its folder.
std::string FrameFileName(const Target& target, uint64_t index);
std::string VideoFileName(const Target& target);
std::string LogFileName(const Target& target);
std::string ReserveFileName(const Target& target);

std::unique_ptr<Sink> MakeSequenceSink(const Options& options, DiskWriter& disk);
// Null with the reason when this build of FFmpeg lacks the format's encoder or muxer.
std::unique_ptr<Sink> MakeVideoSink(const Options& options, DiskWriter& disk, std::string& error);

// The sink of the options' format. Checks what can be checked before the first frame (an encoder
// missing from this build of FFmpeg): null with the reason then.
std::unique_ptr<Sink> MakeSink(const Options& options, DiskWriter& disk, std::string& error);

// The size in bytes of the rows of an image in the display layout.
size_t DibRowBytes(int width, int bitCount);

// The display image of a raw mosaic as the viewer's Bayer conversion makes it: bottom-up, 24-bit (8-bit
// gray for a monochrome sensor), into `out`, which holds DibRowBytes(width, 24) x height bytes. Returns
// the bit count.
int DevelopRaw(const Develop& develop, const uint8_t* raw, int width, int height, uint8_t* out);

// The gray ramp: the colour table of 8-bit images from the camera.
const uint8_t* GrayRamp();
bool IsGrayRamp(const uint8_t* table);
// An 8-bit image through its colour table, as 24-bit rows of the same order.
void ExpandThroughTable(const uint8_t* pixels, const uint8_t* table, int width, int height, uint8_t* out);

} // namespace ocurecord::detail
