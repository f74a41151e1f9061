// Recordings from the simulated camera read back with the viewer's readers and FFmpeg's decoder, and
// the faults a recording must survive: a folder it cannot use, a full disk, a lost camera, a kill.
#include "RecordSupport.h"
#include "Session.h"
#include "display/ImageFiles.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifdef OCUSNAP_HAVE_ARAVIS
#include "AravisSupport.h"
#endif

namespace ocurecord::test {
namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 320;
constexpr int kHeight = 240;

struct FormatCase {
    const char* name;
    Format format;
    Container container;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.name;
}

const FormatCase kFormats[] = {
    {"raw", Format::Raw, Container::Matroska},  {"ffv1", Format::Ffv1, Container::Matroska},
    {"h264_mp4", Format::H264, Container::Mp4}, {"h264_mkv", Format::H264, Container::Matroska},
    {"bmp", Format::Bmp, Container::Matroska},  {"jpeg", Format::Jpeg, Container::Matroska}};

// The frames of a sequence read back with the viewer's own readers, checked against what was delivered.
void ExpectSequence(const Target& target, const Feed& feed) {
    const ocu::ImageLimits limits = ocu::LimitsForSensor(feed.Width(), feed.Height());
    std::vector<uint8_t> pixels(limits.imageBytes);
    for (const auto& [index, delivered] : feed.Taken()) {
        const std::string path = FramePath(target, index);
        ocu::BitmapInfo info{};
        std::string note;
        int read = 0;
        switch (target.format) {
        case Format::Raw:
            read = ocu::ReadRawFile(path, info, pixels.data(), limits, &note);
            break;
        case Format::Bmp:
            read = ocu::ReadBmpFile(path, info, pixels.data(), limits, &note);
            break;
        default:
            read = ocu::ReadJpegFile(path, info, pixels.data(), limits, &note);
            break;
        }
        ASSERT_EQ(read, 1) << path << ": " << note;
        EXPECT_EQ(note, "") << path;
        ASSERT_EQ(info.bmiHeader.biWidth, feed.Width());
        ASSERT_EQ(info.bmiHeader.biHeight, feed.Height());
        if (target.format == Format::Raw) {
            EXPECT_TRUE(std::equal(delivered.pixels.begin(), delivered.pixels.end(), pixels.begin())) << path;
            continue;
        }
        ASSERT_EQ(info.bmiHeader.biBitCount, 24) << path;
        const std::vector<uint8_t> shown = FlipRows(pixels.data(), feed.Width(), feed.Height(), 3);
        const std::vector<uint8_t> expected = DevelopTopDown(delivered.pixels, feed.Width(), feed.Height());
        if (target.format == Format::Bmp)
            EXPECT_EQ(shown, expected) << path;
        else
            EXPECT_GT(Psnr(shown, expected), 40.0) << path;
    }
}

// A video decoded by FFmpeg, checked against what was delivered: the mosaic exactly, the display image
// within a bound; each frame at its camera time.
void ExpectVideo(const Target& target, const Feed& feed) {
    const std::optional<DecodedVideo> video = DecodeVideo(VideoPath(target));
    ASSERT_TRUE(video);
    ASSERT_EQ(video->frames.size(), feed.Taken().size());
    EXPECT_EQ(video->width, feed.Width());
    EXPECT_EQ(video->height, feed.Height());
    const bool ffv1 = target.format == Format::Ffv1;
    EXPECT_EQ(video->codec, ffv1 ? "ffv1" : "h264");
    EXPECT_EQ(video->pixelFormat, ffv1 ? "gray" : "yuv420p");
    if (ffv1) {
        EXPECT_EQ(video->streamTags.count("BAYER_PATTERN") ? video->streamTags.at("BAYER_PATTERN") : "",
                  "GRBG");
    }
    // Matroska keeps milliseconds, MP4 the 90 kHz clock of video; a frame closer to the one before than
    // that goes one step after it.
    const double stepUs = target.container == Container::Mp4 && !ffv1 ? 1e6 / 90000 : 1000;
    const uint64_t firstUs = feed.Taken().begin()->second.cameraUs;
    int64_t lastStep = -1;
    size_t k = 0;
    for (const auto& [index, delivered] : feed.Taken()) {
        const std::vector<uint8_t>& frame = video->frames[k];
        const int64_t step = std::max<int64_t>(
            lastStep + 1, std::llround(static_cast<double>(delivered.cameraUs - firstUs) / stepUs));
        lastStep = step;
        EXPECT_NEAR(static_cast<double>(video->timesUs[k]), static_cast<double>(step) * stepUs, 1.0)
            << "frame " << index;
        if (ffv1)
            EXPECT_EQ(frame, delivered.pixels) << "frame " << index;
        else
            EXPECT_GT(Psnr(frame, DevelopTopDown(delivered.pixels, feed.Width(), feed.Height())), 33.0)
                << "frame " << index;
        ++k;
    }
}

// The log: one row per frame written, in order, with the driver's and the host's times.
void ExpectLog(const Target& target, const Feed& feed) {
    const std::optional<std::vector<LogRow>> rows = ReadLog(LogPath(target));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), feed.Taken().size());
    size_t k = 0;
    for (const auto& [index, delivered] : feed.Taken()) {
        const LogRow& row = (*rows)[k++];
        EXPECT_EQ(row.frame, index);
        EXPECT_EQ(row.cameraUs, delivered.cameraUs);
        EXPECT_EQ(row.hostUs, delivered.hostUs);
        EXPECT_EQ(row.width, feed.Width());
        EXPECT_EQ(row.height, feed.Height());
    }
}

// Nothing but the recording's own files: no half-written frame, no reserve, nothing hidden.
void ExpectNoLeftovers(const std::string& folder) {
    for (const std::string& name : FilesEndingIn(folder, ""))
        EXPECT_NE(name.front(), '.') << name;
}

class RecordingFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(RecordingFormats, FilesReadBackAsTheFramesDelivered) {
    const FormatCase& c = GetParam();
    ExactMovingSim sim;
    TempDir folder;
    constexpr uint64_t kFrames = 24;
    Options options = RecordOptions(folder.Str(), "take", c.format, kWidth, kHeight, c.container);
    options.limit.frames = kFrames;
    std::string error;
    const std::unique_ptr<Recorder> recorder = Recorder::Open(options, error);
    ASSERT_TRUE(recorder) << error;
    Feed feed(kWidth, kHeight);
    ASSERT_TRUE(feed.Opened());
    ASSERT_TRUE(feed.RecordInto(*recorder));

    const Progress progress = recorder->GetProgress();
    EXPECT_EQ(progress.state, State::Finished);
    EXPECT_EQ(progress.outcome, Outcome::LimitReached);
    EXPECT_EQ(progress.offered, kFrames);
    EXPECT_EQ(progress.written, kFrames);
    EXPECT_EQ(progress.dropped, 0u);
    ASSERT_EQ(feed.Taken().size(), kFrames);
    ExpectLog(options.target, feed);
    if (IsSequence(c.format))
        ExpectSequence(options.target, feed);
    else
        ExpectVideo(options.target, feed);
    ExpectNoLeftovers(folder.Str());
}

INSTANTIATE_TEST_SUITE_P(EachFormat, RecordingFormats, ::testing::ValuesIn(kFormats),
                         [](const auto& param) { return std::string(param.param.name); });

// Whatever keeps a recording from its folder is said before anything is written.
TEST(RecordingRefusals, AFolderThatCannotTakeTheRecordingIsRefusedBeforeAnythingIsWritten) {
    TempDir root;
    const std::string plainFile = root.Str() + "/plain";
    ocu::test::WriteText(plainFile, "x");
    std::filesystem::create_directory(root.Path() / "earlier");
    ocu::test::WriteText(root.Str() + "/earlier/take.csv", "x");
    std::filesystem::create_directory(root.Path() / "frames");
    ocu::test::WriteText(root.Str() + "/frames/take_000000.raw", "x");
    std::filesystem::create_directory(root.Path() / "readonly");
    SmallDisk readOnly(1 << 20);
    std::string readOnlyFolder = root.Str() + "/readonly";
    if (readOnly.Ready()) {
        // Root writes through permissions; a read-only file system stops it.
        ASSERT_EQ(::mount(nullptr, readOnly.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
        readOnlyFolder = readOnly.Path();
    } else {
        ::chmod(readOnlyFolder.c_str(), 0555);
    }

    struct Case {
        const char* name;
        std::string folder;
        std::string stem;
        Format format;
        size_t memoryCap;
        const char* says;
    };
    const Case cases[] = {
        {"missing folder", root.Str() + "/missing", "take", Format::Raw, kDefaultMemoryCap, "does not exist"},
        {"a file, not a folder", plainFile, "take", Format::Raw, kDefaultMemoryCap, "is not a folder"},
        {"read-only folder", readOnlyFolder, "take", Format::Raw, kDefaultMemoryCap, "cannot be written"},
        {"an earlier log", root.Str() + "/earlier", "take", Format::H264, kDefaultMemoryCap,
         "already exists"},
        {"an earlier first frame", root.Str() + "/frames", "take", Format::Raw, kDefaultMemoryCap,
         "already exists"},
        {"a stem with a folder", root.Str(), "a/b", Format::Raw, kDefaultMemoryCap, "cannot be a file name"},
        {"a hidden stem", root.Str(), ".take", Format::Raw, kDefaultMemoryCap, "cannot be a file name"},
        {"memory for one frame", root.Str(), "take", Format::Bmp, size_t{1} << 20, "must hold two frames"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = std::filesystem::exists(c.folder) && std::filesystem::is_directory(c.folder)
                                ? FilesEndingIn(c.folder, "")
                                : std::vector<std::string>{};
        Options options = RecordOptions(c.folder, c.stem, c.format, kWidth, kHeight);
        options.developRaw = false; // display images of kWidth x kHeight: about 225 KiB a slot
        options.maxWidth = c.memoryCap < kDefaultMemoryCap ? 640 : kWidth;
        options.maxHeight = c.memoryCap < kDefaultMemoryCap ? 480 : kHeight;
        options.memoryCap = c.memoryCap;
        std::string error;
        EXPECT_EQ(Recorder::Open(options, error), nullptr);
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        if (std::filesystem::is_directory(c.folder)) {
            EXPECT_EQ(FilesEndingIn(c.folder, ""), before);
        }
    }
}

// The disk fills up: the recording stops by itself, says so, and leaves complete, readable files.
class FullDisk : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FullDisk, EndsTheRecordingWithEveryFileComplete) {
    const FormatCase& c = GetParam();
    // Room for the reserve and 8 MiB of frames.
    SmallDisk disk(kDefaultReserveBytes + (8 << 20));
    if (!disk.Ready())
        GTEST_SKIP() << "skipped: " << disk.Reason();
    constexpr int kW = 640;
    constexpr int kH = 480;
    Options options = RecordOptions(disk.Path(), "take", c.format, kW, kH, c.container);
    options.memoryCap = size_t{32} << 20;
    std::string error;
    const std::unique_ptr<Recorder> recorder = Recorder::Open(options, error);
    ASSERT_TRUE(recorder) << error;
    const std::map<uint64_t, std::vector<uint8_t>> taken = SubmitNoise(*recorder, kW, kH);

    const Progress progress = recorder->GetProgress();
    ASSERT_EQ(progress.outcome, Outcome::DiskFull) << progress.message;
    EXPECT_NE(progress.message.find("is full"), std::string::npos) << progress.message;
    EXPECT_GT(progress.written, 0u);
    // Frames taken but not written (the one the disk refused, those still waiting) are counted as dropped.
    EXPECT_EQ(progress.written + progress.dropped, progress.offered);
    const std::optional<std::vector<LogRow>> rows = ReadLog(LogPath(options.target));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), progress.written);
    if (IsSequence(c.format)) {
        EXPECT_EQ(FilesEndingIn(disk.Path(), FileExtension(c.format, c.container)).size(), progress.written);
        const ocu::ImageLimits limits = ocu::LimitsForSensor(kW, kH);
        std::vector<uint8_t> pixels(limits.rawBytes);
        for (const LogRow& row : *rows) {
            ocu::BitmapInfo info{};
            std::string note;
            ASSERT_EQ(
                ocu::ReadRawFile(FramePath(options.target, row.frame), info, pixels.data(), limits, &note), 1)
                << note;
            EXPECT_EQ(note, "");
            EXPECT_EQ(pixels, taken.at(row.frame)) << "frame " << row.frame;
        }
    } else {
        const std::optional<DecodedVideo> video = DecodeVideo(VideoPath(options.target));
        ASSERT_TRUE(video);
        EXPECT_EQ(video->frames.size(), progress.written);
        if (c.format == Format::Ffv1) {
            for (size_t k = 0; k < rows->size() && k < video->frames.size(); ++k)
                EXPECT_EQ(video->frames[k], taken.at((*rows)[k].frame)) << "frame " << k;
        }
    }
    ExpectNoLeftovers(disk.Path());
}

INSTANTIATE_TEST_SUITE_P(Formats, FullDisk, ::testing::Values(kFormats[0], kFormats[1], kFormats[2]),
                         [](const auto& param) { return std::string(param.param.name); });

#ifdef OCUSNAP_HAVE_ARAVIS
// The camera goes away mid-recording (what Aravis signals when it stops answering): the recording ends by
// itself with the driver's words, every frame written up to then complete.
TEST(LostCamera, EndsTheRecordingWithItsFilesComplete) {
    ScopedEnv camera{"OCUSNAP_CAMERA", "aravis"};
    ScopedEnv fake{"OCUSNAP_ARAVIS_FAKE", "only"};
    TempDir folder;
    tool::SessionOptions options;
    options.regionWidth = 256;
    options.regionHeight = 128;
    options.record.target = Target{folder.Str(), "take", Format::Raw, Container::Matroska};
    tool::Session session;
    std::string error;
    ASSERT_TRUE(session.Start(options, error)) << error;
    const auto waitFor = [&](auto done) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            session.Watch();
            std::this_thread::sleep_for(20ms);
        }
        return done();
    };
    ASSERT_TRUE(waitFor([&] { return session.GetProgress().written >= 3; }));
    ocusnap::test::AravisOf(session.Camera()).SignalControlLost();
    ASSERT_TRUE(waitFor([&] { return session.Finished(); }));
    session.Close();

    const Progress progress = session.GetProgress();
    EXPECT_EQ(progress.outcome, Outcome::CameraFailed);
    EXPECT_NE(progress.message.find("connection to the camera was lost"), std::string::npos)
        << progress.message;
    EXPECT_EQ(progress.dropped, 0u);
    const std::optional<std::vector<LogRow>> rows = ReadLog(LogPath(options.record.target));
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->size(), progress.written);
    const ocu::ImageLimits limits = ocu::LimitsForSensor(256, 128);
    std::vector<uint8_t> pixels(limits.rawBytes);
    EXPECT_EQ(FilesEndingIn(folder.Str(), ".raw").size(), progress.written);
    for (const LogRow& row : *rows) {
        ocu::BitmapInfo info{};
        std::string note;
        EXPECT_EQ(
            ocu::ReadRawFile(FramePath(options.record.target, row.frame), info, pixels.data(), limits, &note),
            1);
        EXPECT_EQ(note, "");
    }
    ExpectNoLeftovers(folder.Str());
}
#endif

// ocusnap-record started with these arguments, its output discarded; killing it is the caller's.
pid_t StartRecordTool(std::vector<std::string> args) {
    args.insert(args.begin(), OCUSNAP_RECORD);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(OCUSNAP_RECORD, argv.data());
        _exit(127);
    }
    return child;
}

void KillAndReap(pid_t child) {
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
}

// ocusnap-record killed at any moment: every raw file there is whole.
TEST(KilledRecording, LeavesEveryRawFrameWholeOrAbsent) {
    ExactMovingSim sim;
    constexpr int kW = 640;
    constexpr int kH = 480;
    const uintmax_t whole = 8 + kW * kH;
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TempDir folder;
        const pid_t child = StartRecordTool({"--region", "640x480", folder.Str()});
        ASSERT_GE(child, 0);
        // A different moment every round, once frames are being written.
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (FilesEndingIn(folder.Str(), ".raw").size() < static_cast<size_t>(5 + 7 * round) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        KillAndReap(child);
        const std::vector<std::string> frames = FilesEndingIn(folder.Str(), ".raw");
        EXPECT_GE(frames.size(), static_cast<size_t>(5 + 7 * round));
        for (const std::string& name : frames)
            EXPECT_EQ(std::filesystem::file_size(folder.Path() / name), whole) << name;
    }
}

// ocusnap-record killed during a video, before its first key interval ends: the video plays up to about
// a second (and the encoder's delay) before the last frame it logged.
TEST(KilledRecording, LeavesAVideoThatPlaysUpToShortlyBeforeTheKill) {
    ExactMovingSim sim;
    ScopedEnv rate{"OCUSNAP_SIM_FPS", "real"}; // 25 frames a second at this exposure
    constexpr size_t kLoggedBeforeKill = 100;  // four seconds, fewer frames than a key interval
    constexpr uint64_t kSecondAndMargin = 1'200'000;
    constexpr size_t kEncoderDelay = 30; // frames inside x264's look-ahead and threads
    for (const FormatCase& c : {kFormats[1], kFormats[2], kFormats[3]}) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        const std::string video = folder.Str() + (c.container == Container::Mp4 ? "/take.mp4" : "/take.mkv");
        const std::string log = folder.Str() + "/take.csv";
        const pid_t child = StartRecordTool({"--region", "320x240", "--exposure", "40", "--format",
                                             c.format == Format::Ffv1 ? "ffv1" : "h264", video});
        ASSERT_GE(child, 0);
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(log);
            const auto lines = std::count(std::istreambuf_iterator<char>(in), {}, '\n');
            if (static_cast<size_t>(lines) > kLoggedBeforeKill) // the header and the rows
                break;
            std::this_thread::sleep_for(20ms);
        }
        KillAndReap(child);
        const std::optional<std::vector<LogRow>> rows = ReadLog(log);
        ASSERT_TRUE(rows && rows->size() >= kLoggedBeforeKill);
        const uint64_t last = rows->back().hostUs;
        const auto older =
            static_cast<size_t>(std::count_if(rows->begin(), rows->end(), [&](const LogRow& r) {
                return r.hostUs + kSecondAndMargin <= last;
            }));
        const std::optional<DecodedVideo> decoded = DecodeVideo(video);
        ASSERT_TRUE(decoded);
        EXPECT_GE(decoded->frames.size() + kEncoderDelay, older) << rows->size() << " frames logged";
    }
}

// What ocusnap-record says and returns, and its videos as a standard player's probe sees them.
using ocu::test::CommandRun;
using ocu::test::RunCommand;

TEST(OcusnapRecord, CommandLineMistakesExitWithTheUsage) {
    TempDir folder;
    const std::string tool = OCUSNAP_RECORD;
    struct Case {
        std::string args;
        const char* says;
    };
    const Case cases[] = {
        {"", "OUTPUT is needed"},
        {"--frames 2 --seconds 1 " + folder.Str(), "two limits"},
        {"--format gif " + folder.Str(), "invalid value 'gif' for --format"},
        {"--frames 0 " + folder.Str(), "invalid value '0' for --frames"},
        {"--region 640 " + folder.Str(), "invalid value '640' for --region"},
        {"--camera bogus " + folder.Str(), "invalid value 'bogus' for --camera"},
        {"--format ffv1 " + folder.Str() + "/take.mp4", "a file ending in .mkv"},
        {"--format h264 " + folder.Str() + "/take.avi", "a file ending in .mp4 or .mkv"},
        {"--frames", "--frames needs a value"},
    };
    for (const Case& c : cases) {
        const CommandRun run = RunCommand(tool + " " + c.args);
        EXPECT_EQ(run.status, 2) << c.args << ": " << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << ": " << run.err;
        EXPECT_NE(run.err.find("usage: ocusnap-record"), std::string::npos) << c.args;
    }
    // A region the camera cannot give is the camera's refusal, after the command line was understood;
    // the folder made for the run goes with it, one that was there stays.
    for (const std::string& out : {folder.Str(), folder.Str() + "/new"}) {
        const CommandRun wide = RunCommand(tool + " --frames 1 --region 4096x64 " + out);
        EXPECT_EQ(wide.status, 1) << wide.err;
        EXPECT_NE(wide.err.find("larger than the camera's image"), std::string::npos) << wide.err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

// --seconds: the frames of that long from the first, and the program ends by itself.
TEST(OcusnapRecord, ADurationEndsTheRecordingThatLongAfterItsFirstFrame) {
    // The camera's own timing: a few frames in half a second.
    ScopedEnv camera{"OCUSNAP_CAMERA", "sim"};
    ScopedEnv fps{"OCUSNAP_SIM_FPS", "real"};
    TempDir folder;
    const CommandRun run =
        RunCommand(std::string(OCUSNAP_RECORD) + " --seconds 0.5 --region 64x32 " + folder.Str());
    EXPECT_EQ(run.status, 0) << run.err;
    const std::optional<std::vector<LogRow>> rows = ReadLog(folder.Str() + "/frame.csv");
    ASSERT_TRUE(rows);
    ASSERT_GT(rows->size(), 1u);
    EXPECT_LT(rows->back().hostUs - rows->front().hostUs, 500000u);
    EXPECT_EQ(FilesEndingIn(folder.Str(), ".raw").size(), rows->size());
}

TEST(OcusnapRecord, VideosPlayWithTheFramesAndSizeRecorded) {
    ExactMovingSim sim;
    TempDir folder;
    struct Case {
        const char* format;
        const char* file;
        const char* codec;
    };
    const Case cases[] = {
        {"h264", "take.mp4", "h264"}, {"h264", "take2.mkv", "h264"}, {"ffv1", "raw.mkv", "ffv1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string file = folder.Str() + "/" + c.file;
        const CommandRun run = RunCommand(std::string(OCUSNAP_RECORD) +
                                          " --frames 30 --region 640x480 --format " + c.format + " " + file);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("30 frames written, 0 dropped"), std::string::npos) << run.out << run.err;
        const CommandRun probe =
            RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                       "stream=codec_name,width,height,nb_read_frames -of default=nw=1 " +
                       file);
        EXPECT_EQ(probe.status, 0) << probe.err;
        EXPECT_EQ(probe.out,
                  std::string("codec_name=") + c.codec + "\nwidth=640\nheight=480\nnb_read_frames=30\n");
    }
}

} // namespace
} // namespace ocurecord::test
