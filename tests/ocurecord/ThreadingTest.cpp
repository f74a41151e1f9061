// The recorder's hand-over between the thread that submits frames and its writer: frames are taken or
// dropped at once, and every frame taken is written exactly once, whatever the timing.
#include "OcuRecord.h"
#include "TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace ocurecord {
namespace {

// A mosaic that tells its frame apart: every byte is the frame's number plus its position.
std::vector<uint8_t> Pattern(uint64_t index, int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(index * 7 + i);
    return pixels;
}

std::vector<uint64_t> LoggedFrames(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    std::vector<uint64_t> frames;
    while (std::getline(in, line))
        frames.push_back(std::stoull(line.substr(0, line.find(','))));
    return frames;
}

struct Case {
    const char* name;
    Format format;
    int width;
    int height;
    size_t memoryCap;
    int stopAfterMs; // another thread stops the recording then; 0: the submitting thread runs out first
    bool drops;      // the writer is too slow for the frames: some must be dropped
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class RecorderThreads : public ::testing::TestWithParam<Case> {};

// One thread submits as fast as it can, one watches the progress, one may stop the recording: what was
// taken is exactly what is written and logged, in order, each frame whole; the rest is counted dropped.
TEST_P(RecorderThreads, EveryFrameTakenIsWrittenOnceAndEveryOtherIsCountedDropped) {
    const Case& c = GetParam();
    const ocu::test::TempDir folder;
    Options options;
    options.target = Target{folder.Str(), "take", c.format, Container::Matroska};
    options.maxWidth = c.width;
    options.maxHeight = c.height;
    options.memoryCap = c.memoryCap;
    options.developRaw = !RecordsRawMosaic(c.format);
    options.develop.bayerLayout = 2;
    options.reserveBytes = 0;
    std::string error;
    std::unique_ptr<Recorder> recorder = Recorder::Open(options, error);
    ASSERT_TRUE(recorder) << error;

    constexpr uint64_t kFrames = 300;
    std::vector<std::vector<uint8_t>> frames;
    for (uint64_t i = 0; i < 16; ++i)
        frames.push_back(Pattern(i, c.width, c.height));
    std::set<uint64_t> taken;
    uint64_t submitted = 0;
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        uint64_t lastWritten = 0;
        while (!done) {
            const Progress p = recorder->GetProgress();
            EXPECT_GE(p.written, lastWritten);
            EXPECT_LE(p.written + p.dropped + p.waiting, p.offered + 1); // one may be between the counts
            lastWritten = p.written;
            std::this_thread::yield();
        }
    });
    std::thread stopper;
    if (c.stopAfterMs > 0)
        stopper = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(c.stopAfterMs));
            recorder->Stop();
        });
    for (uint64_t i = 0; i < kFrames; ++i) {
        Frame frame;
        frame.pixels = frames[i % frames.size()].data();
        frame.width = c.width;
        frame.height = c.height;
        frame.hostTimeUs = MonotonicMicroseconds();
        const Submitted result = recorder->Submit(frame);
        if (result == Submitted::Refused)
            break;
        if (result == Submitted::Taken)
            taken.insert(i);
        ++submitted;
    }
    if (stopper.joinable())
        stopper.join();
    recorder->Stop();
    recorder->Wait();
    done = true;
    watcher.join();

    const Progress p = recorder->GetProgress();
    EXPECT_EQ(p.state, State::Finished);
    EXPECT_EQ(p.offered, submitted);
    EXPECT_EQ(p.written, taken.size());
    EXPECT_EQ(p.written + p.dropped, submitted);
    EXPECT_EQ(p.waiting, 0u);
    // A 1280 x 1024 JPEG at quality 100 takes milliseconds; copying the frame into a slot far less.
    if (c.drops) {
        EXPECT_GT(p.dropped, 0u);
    }
    const std::vector<uint64_t> logged = LoggedFrames(LogPath(options.target));
    EXPECT_EQ(logged, std::vector<uint64_t>(taken.begin(), taken.end()));
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        files += entry.path().extension() == FileExtension(c.format, Container::Matroska) ? 1 : 0;
    EXPECT_EQ(files, taken.size());
    if (c.format == Format::Raw) {
        for (const uint64_t i : taken) {
            std::ifstream in(FramePath(options.target, i), std::ios::binary);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                             std::istreambuf_iterator<char>()};
            ASSERT_EQ(bytes.size(), 8 + frames[0].size());
            EXPECT_TRUE(std::equal(bytes.begin() + 8, bytes.end(), frames[i % frames.size()].begin())) << i;
        }
    }
}

// Two slots of slow JPEG frames: most frames find no free slot. Many small raw slots, stopped from
// another thread halfway. Raw frames as fast as they come, nothing stopping them.
INSTANTIATE_TEST_SUITE_P(
    Timings, RecorderThreads,
    ::testing::Values(Case{"two_slots_of_jpeg", Format::Jpeg, 1280, 1024, size_t{1280 * 1024 * 2}, 0, true},
                      Case{"stopped_halfway", Format::Raw, 256, 128, size_t{256 * 128 * 8}, 5, false},
                      Case{"raw_full_speed", Format::Raw, 256, 128, size_t{1} << 20, 0, false}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace ocurecord
