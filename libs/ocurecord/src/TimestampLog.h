// The timestamp log beside every recording: one CSV row per frame written, so that the gaps of dropped
// frames and the camera's timing can be seen afterwards.
//
//   frame,camera_time_us,host_time_us,width,height
//   0,81234567890,81234568012,1280,1024
//
// frame: the frame's number among all the camera delivered since the recording began (a dropped frame
// leaves its number out); camera_time_us: the driver's timestamp, empty when it has none; host_time_us:
// the monotonic clock when the frame reached the recorder; width, height: the frame's size.
#pragma once

#include "Disk.h"

#include <array>
#include <cstdint>
#include <string>

namespace ocurecord::detail {

class TimestampLog {
public:
    // Creates the log with its header line; false with the reason when it cannot be.
    bool Create(DiskWriter& disk, const std::string& name, std::string& error);
    // Adds a row; the rows are written in batches (at the latest a second after their frame). False with
    // the reason when a batch could not be written.
    bool Add(uint64_t frame, uint64_t cameraUs, uint64_t hostUs, int width, int height, std::string& error);
    // Writes what is pending; false with the reason on failure.
    bool Flush(std::string& error);
    // Flushes, brings the file to the disk and closes it.
    bool Close(std::string& error);
    bool IsOpen() const { return static_cast<bool>(m_file); }

private:
    DiskWriter* m_disk = nullptr;
    Fd m_file;
    std::array<char, 65536> m_pending{};
    size_t m_used = 0;
    uint64_t m_lastFlushUs = 0;
};

} // namespace ocurecord::detail
