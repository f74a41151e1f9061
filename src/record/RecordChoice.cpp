#include "record/RecordChoice.h"

#include <array>
#include <cstdio>

namespace ocu {
namespace {

using ocurecord::Container;
using ocurecord::Format;

constexpr std::array<RecordFormatEntry, 6> kFormats{{
    {"Raw frames (.raw, the Bayer mosaic, lossless)", Format::Raw, Container::Matroska},
    {"FFV1 video of the Bayer mosaic (.mkv, lossless)", Format::Ffv1, Container::Matroska},
    {"H.264 video of the picture (.mp4)", Format::H264, Container::Mp4},
    {"H.264 video of the picture (.mkv)", Format::H264, Container::Matroska},
    {"BMP pictures (.bmp)", Format::Bmp, Container::Matroska},
    {"JPEG pictures (.jpg)", Format::Jpeg, Container::Matroska},
}};

const RecordFormatEntry& EntryOf(const RecordChoice& choice) {
    const size_t index = choice.format >= 0 && static_cast<size_t>(choice.format) < kFormats.size()
                             ? static_cast<size_t>(choice.format)
                             : 0;
    return kFormats[index];
}

} // namespace

std::span<const RecordFormatEntry> RecordFormats() {
    return kFormats;
}

std::string DefaultRecordStem(const std::tm& localTime) {
    char text[64];
    std::strftime(text, sizeof text, "recording-%Y%m%d-%H%M%S", &localTime);
    return text;
}

ocurecord::Options RecordOptionsFor(const RecordChoice& choice, int maxWidth, int maxHeight,
                                    int bayerLayout) {
    const RecordFormatEntry& entry = EntryOf(choice);
    ocurecord::Options options;
    options.target = ocurecord::Target{choice.folder, choice.stem, entry.format, entry.container};
    if (choice.limit == RecordLimit::Frames)
        options.limit.frames = static_cast<uint64_t>(choice.frames > 0 ? choice.frames : 1);
    else if (choice.limit == RecordLimit::Seconds)
        options.limit.seconds = choice.seconds > 0 ? choice.seconds : 1;
    options.memoryCap = static_cast<size_t>(choice.memoryMiB > 0 ? choice.memoryMiB : 1) << 20;
    options.maxWidth = maxWidth;
    options.maxHeight = maxHeight;
    // The viewer hands over what it shows: display images, never mosaics to develop.
    options.developRaw = false;
    options.bayerLayout = bayerLayout;
    return options;
}

std::string RecordFilesText(const RecordChoice& choice) {
    const RecordFormatEntry& entry = EntryOf(choice);
    const ocurecord::Target target{"", choice.stem, entry.format, entry.container};
    const std::string log = choice.stem + ".csv";
    if (!ocurecord::IsSequence(entry.format))
        return ocurecord::VideoPath(target) + " and " + log;
    return ocurecord::FramePath(target, 0) + ", " + ocurecord::FramePath(target, 1) + ", ... and " + log;
}

std::string ByteSizeText(double bytes) {
    const char* units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

RecordStatusText DescribeProgress(const ocurecord::Progress& p, size_t memoryCap) {
    RecordStatusText text;
    text.written = std::to_string(p.written);
    text.dropped = std::to_string(p.dropped);
    if (!p.note.empty())
        text.dropped += ": " + p.note;
    char line[96];
    if (p.seconds > 0) {
        std::snprintf(line, sizeof line, "%.1f frames/s, %s/s", static_cast<double>(p.written) / p.seconds,
                      ByteSizeText(static_cast<double>(p.bytes) / p.seconds).c_str());
        text.rate = line;
    } else {
        text.rate = "-";
    }
    const long seconds = static_cast<long>(p.seconds);
    std::snprintf(line, sizeof line, "%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    text.time = line;
    text.space = p.freeBytes >= 0 ? ByteSizeText(static_cast<double>(p.freeBytes)) : "unknown";
    text.waiting = std::to_string(p.waiting) + " of " + std::to_string(p.slotCount) + " frames (" +
                   ByteSizeText(static_cast<double>(memoryCap)) + ")";
    switch (p.state) {
    case ocurecord::State::Recording:
        text.state = "Recording";
        break;
    case ocurecord::State::Finishing:
        text.state = "Finishing: writing the frames waiting";
        break;
    case ocurecord::State::Finished:
        text.state = p.message.empty() ? "Finished" : p.message;
        break;
    }
    return text;
}

} // namespace ocu
