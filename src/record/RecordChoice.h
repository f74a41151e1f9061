// What the Record dialog chooses and what the recording's status window says, without a window: the
// formats on offer, the options the recording library is given, and the status lines.
#pragma once

#include "OcuRecord.h"

#include <ctime>
#include <span>
#include <string>

namespace ocu {

struct RecordFormatEntry {
    const char* label; // as the dialog lists it
    ocurecord::Format format;
    ocurecord::Container container;
};

// The dialog's formats, the raw sequence first (the default).
std::span<const RecordFormatEntry> RecordFormats();

enum class RecordLimit { UntilStopped, Frames, Seconds };

struct RecordChoice {
    std::string folder;
    std::string stem;
    int format = 0; // index into RecordFormats()
    RecordLimit limit = RecordLimit::UntilStopped;
    int frames = 1000;
    int seconds = 60;
    int memoryMiB = 512; // frames waiting for the disk may take this much
};

inline constexpr int kMaxRecordMemoryMiB = 65536;

// "recording-20261207-194500": a stem of the time, so that each recording gets names of its own.
std::string DefaultRecordStem(const std::tm& localTime);

// The recording library's options for the choice. maxWidth x maxHeight is the sensor's full image (the
// largest frame the camera can deliver, or display image the viewer can show); bayerLayout the viewer's.
ocurecord::Options RecordOptionsFor(const RecordChoice& choice, int maxWidth, int maxHeight, int bayerLayout);

// The files a recording of the choice makes, in a line: "take_000000.raw, take_000001.raw, ... and take.csv".
std::string RecordFilesText(const RecordChoice& choice);

// The status window's lines for a recording's progress.
struct RecordStatusText {
    std::string written; // "1234"
    std::string dropped; // "0", or "3: Frames of 640 x 480 are not recorded: ..."
    std::string rate;    // "150.0 frames/s, 187.5 MiB/s"
    std::string time;    // "0:01:23"
    std::string space;   // "20.1 GiB"
    std::string waiting; // "3 of 130 frames (512 MiB)"
    std::string state;   // "Recording", "Finishing: writing the frames waiting", "Finished", or why it ended
};
RecordStatusText DescribeProgress(const ocurecord::Progress& progress, size_t memoryCap);

// 1536 -> "1.5 KiB".
std::string ByteSizeText(double bytes);

} // namespace ocu
