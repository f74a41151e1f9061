// The formats' names and the names of a recording's files.
#include "Sink.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace ocurecord {
namespace {

struct FormatRow {
    Format format;
    const char* name;
};
constexpr std::array<FormatRow, 5> kFormats{{{Format::Raw, "raw"},
                                             {Format::Ffv1, "ffv1"},
                                             {Format::H264, "h264"},
                                             {Format::Bmp, "bmp"},
                                             {Format::Jpeg, "jpeg"}}};

std::string InFolder(const Target& target, const std::string& name) {
    if (target.folder.empty())
        return name;
    return target.folder.back() == '/' ? target.folder + name : target.folder + "/" + name;
}

} // namespace

bool RecordsRawMosaic(Format format) {
    return format == Format::Raw || format == Format::Ffv1;
}

bool IsSequence(Format format) {
    return format == Format::Raw || format == Format::Bmp || format == Format::Jpeg;
}

const char* FormatName(Format format) {
    for (const FormatRow& row : kFormats)
        if (row.format == format)
            return row.name;
    return "raw";
}

std::optional<Format> ParseFormat(std::string_view name) {
    for (const FormatRow& row : kFormats)
        if (name == row.name)
            return row.format;
    return std::nullopt;
}

const char* FileExtension(Format format, Container container) {
    switch (format) {
    case Format::Raw:
        return ".raw";
    case Format::Ffv1:
        return ".mkv";
    case Format::H264:
        return container == Container::Mp4 ? ".mp4" : ".mkv";
    case Format::Bmp:
        return ".bmp";
    case Format::Jpeg:
        return ".jpg";
    }
    return ".raw";
}

std::string LogPath(const Target& target) {
    return InFolder(target, detail::LogFileName(target));
}

std::string VideoPath(const Target& target) {
    return InFolder(target, detail::VideoFileName(target));
}

std::string FramePath(const Target& target, uint64_t index) {
    return InFolder(target, detail::FrameFileName(target, index));
}

uint64_t MonotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

namespace detail {

std::string FrameFileName(const Target& target, uint64_t index) {
    // Six digits, so that the files sort in their order up to a million frames.
    char number[24];
    std::snprintf(number, sizeof number, "_%06llu", static_cast<unsigned long long>(index));
    return target.stem + number + FileExtension(target.format, target.container);
}

std::string VideoFileName(const Target& target) {
    return target.stem + FileExtension(target.format, target.container);
}

std::string LogFileName(const Target& target) {
    return target.stem + ".csv";
}

std::string ReserveFileName(const Target& target) {
    return "." + target.stem + ".reserve";
}

std::unique_ptr<Sink> MakeSink(const Options& options, DiskWriter& disk, std::string& error) {
    if (IsSequence(options.target.format))
        return MakeSequenceSink(options, disk);
    return MakeVideoSink(options, disk, error);
}

} // namespace detail
} // namespace ocurecord
