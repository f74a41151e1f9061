// ocusnap-record: records from the camera driver without a window, with the viewer's recording code.
#include "OcuVersion.h"
#include "Session.h"
#include "camera/CameraId.h"
#include "imaging/ChannelLuts.h"
#include "record/RecordChoice.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace ocurecord;

namespace {

constexpr char kUsage[] =
    "usage: ocusnap-record [--camera ID] [--frames N | --seconds S] [--format raw|ffv1|h264|bmp|jpeg]\n"
    "                      [--exposure MS] [--region WxH] [--stem NAME] [--memory MIB]\n"
    "                      [--conversion fast|normal|edgesensing|best] [--ratios R,G,B] OUTPUT\n"
    "       ocusnap-record -h | --help | -v | --version\n";

constexpr char kHelp[] =
    "Records frames from the camera driver's camera 1 without a window, until the limit or Ctrl+C.\n"
    "  --camera ID       the camera, as OCUSNAP_CAMERA names it: sim, aravis, aravis:ID\n"
    "  --frames N        stop after N frames from the camera (dropped ones count)\n"
    "  --seconds S       stop S seconds after the first frame\n"
    "  --format F        raw (default): a raw file per frame, the Bayer mosaic, as ocuimage reads it;\n"
    "                    ffv1: the mosaic losslessly in one Matroska video (OUTPUT ends in .mkv);\n"
    "                    h264: the developed picture in one video (OUTPUT ends in .mp4 or .mkv);\n"
    "                    bmp, jpeg: a BMP or JPEG file of the developed picture per frame\n"
    "  --exposure MS     exposure time in milliseconds, through the viewer's exposure arithmetic\n"
    "  --region WxH      the output window from the sensor's top-left corner (a multiple of 4 by one\n"
    "                    of 2); default the whole image\n"
    "  --stem NAME       sequences: the files are NAME_000000.raw, ...; default \"frame\"\n"
    "  --memory MIB      memory for frames waiting to be written (default 512); when it is full,\n"
    "                    frames are dropped and counted, never waited for\n"
    "  --conversion C    h264, bmp, jpeg: the Bayer conversion (default fast)\n"
    "  --ratios R,G,B    h264, bmp, jpeg: white-balance ratios (default 1,1,1)\n"
    "OUTPUT is a folder for sequences (made when missing) and a file for videos. Beside every recording\n"
    "a CSV file (NAME.csv) has a row per frame written: its number, the camera's and the host's time in\n"
    "microseconds, its size. Exit status: 0 when every frame was written, 1 when a frame was dropped or\n"
    "anything failed, 2 for a wrong command line.\n";

struct Arguments {
    tool::SessionOptions session;
    std::string output;
    std::string stem = "frame";
};

int UsageError(const std::string& reason) {
    std::fprintf(stderr, "ocusnap-record: %s\n%s", reason.c_str(), kUsage);
    return 2;
}

std::optional<double> Number(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno != 0 || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<uint64_t> Count(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18)
        return std::nullopt;
    return std::strtoull(text.c_str(), nullptr, 10);
}

bool EndsWith(const std::string& text, std::string_view end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The command line; nullopt with status set when the program is to end at once.
std::optional<Arguments> Parse(int argc, char** argv, int& status) {
    Arguments args;
    Options& record = args.session.record;
    std::vector<std::string> files;
    bool haveFrames = false;
    bool haveSeconds = false;
    std::optional<double> ratios[3];
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        // The short forms every program of the project takes; any other single-dash word is a mistake,
        // not a file name (one starting with "-" follows "--").
        if (arg == "-h")
            arg = "--help";
        else if (arg == "-v")
            arg = "--version";
        else if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-') {
            status = UsageError("unknown option '" + arg + "'");
            return std::nullopt;
        }
        if (arg.rfind("--", 0) != 0 || arg == "--") {
            if (arg == "--" && i + 1 < argc)
                arg = argv[++i];
            files.push_back(arg);
            continue;
        }
        if (arg == "--help") {
            std::printf("%s\n%s", kUsage, kHelp);
            status = 0;
            return std::nullopt;
        }
        if (arg == "--version") {
            std::printf("ocusnap-record %s\n", OCU_VERSION);
            status = 0;
            return std::nullopt;
        }
        std::string value;
        if (const size_t equals = arg.find('='); equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            status = arg == "--camera" || arg == "--frames" || arg == "--seconds" || arg == "--format" ||
                             arg == "--exposure" || arg == "--region" || arg == "--stem" ||
                             arg == "--memory" || arg == "--conversion" || arg == "--ratios"
                         ? UsageError(arg + " needs a value")
                         : UsageError("unknown option '" + arg + "'");
            return std::nullopt;
        }
        const auto bad = [&] {
            status = UsageError("invalid value '" + value + "' for " + arg);
            return std::nullopt;
        };
        if (arg == "--camera") {
            if (!ocu::IsCameraId(value))
                return bad();
            args.session.camera = value;
        } else if (arg == "--frames") {
            const auto n = Count(value);
            if (!n || *n == 0)
                return bad();
            record.limit.frames = *n;
            haveFrames = true;
        } else if (arg == "--seconds") {
            const auto s = Number(value);
            if (!s || !(*s > 0) || *s > 1e7)
                return bad();
            record.limit.seconds = *s;
            haveSeconds = true;
        } else if (arg == "--format") {
            const auto format = ParseFormat(value);
            if (!format)
                return bad();
            record.target.format = *format;
        } else if (arg == "--exposure") {
            const auto ms = Number(value);
            if (!ms || !(*ms > 0) || *ms > 1e6)
                return bad();
            args.session.exposureMs = *ms;
        } else if (arg == "--region") {
            const size_t x = value.find('x');
            const auto w = x == std::string::npos ? std::nullopt : Count(value.substr(0, x));
            const auto h = x == std::string::npos ? std::nullopt : Count(value.substr(x + 1));
            if (!w || !h || *w == 0 || *h == 0 || *w > 65535 || *h > 65535)
                return bad();
            args.session.regionWidth = static_cast<int>(*w);
            args.session.regionHeight = static_cast<int>(*h);
        } else if (arg == "--stem") {
            args.stem = value;
        } else if (arg == "--memory") {
            const auto mib = Count(value);
            if (!mib || *mib == 0 || *mib > (uint64_t{1} << 30))
                return bad();
            record.memoryCap = static_cast<size_t>(*mib) << 20;
        } else if (arg == "--conversion") {
            const std::pair<const char*, int> types[] = {
                {"fast", 1}, {"normal", 3}, {"edgesensing", 4}, {"best", 6}};
            int type = 0;
            for (const auto& [name, code] : types)
                if (value == name)
                    type = code;
            if (type == 0)
                return bad();
            record.develop.conversion = type;
        } else if (arg == "--ratios") {
            size_t start = 0;
            for (int k = 0; k < 3; ++k) {
                const size_t comma = k < 2 ? value.find(',', start) : value.size();
                ratios[k] =
                    comma == std::string::npos ? std::nullopt : Number(value.substr(start, comma - start));
                if (!ratios[k] || !(*ratios[k] > 0) || *ratios[k] > 1000)
                    return bad();
                start = comma + 1;
            }
        } else {
            status = UsageError("unknown option '" + arg + "'");
            return std::nullopt;
        }
    }
    if (haveFrames && haveSeconds) {
        status = UsageError("--frames and --seconds are two limits: give one");
        return std::nullopt;
    }
    if (files.size() != 1) {
        status = UsageError(files.empty() ? "OUTPUT is needed" : "more than one OUTPUT named");
        return std::nullopt;
    }
    args.output = files.front();
    if (ratios[0]) {
        ocu::LutBlock luts = ocu::IdentityLuts();
        ocu::BuildChannelLuts(luts, false, *ratios[0], *ratios[1], *ratios[2]);
        for (size_t c = 0; c < 3; ++c)
            record.develop.luts[c] = luts[c];
    }
    return args;
}

// Videos: OUTPUT is the file, whose extension names the container. False with the reason for a name
// that cannot be one.
bool ResolveVideo(Arguments& args, std::string& error) {
    Target& target = args.session.record.target;
    const std::string& out = args.output;
    if (EndsWith(out, ".mkv")) {
        target.container = Container::Matroska;
    } else if (EndsWith(out, ".mp4") && target.format == Format::H264) {
        target.container = Container::Mp4;
    } else {
        error = target.format == Format::H264 ? "an h264 OUTPUT is a file ending in .mp4 or .mkv"
                                              : "an ffv1 OUTPUT is a file ending in .mkv";
        return false;
    }
    const size_t slash = out.rfind('/');
    target.folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : out.substr(0, slash));
    target.stem = out.substr(slash == std::string::npos ? 0 : slash + 1);
    target.stem.resize(target.stem.size() - 4);
    return true;
}

// Sequences: OUTPUT is the folder, made when it is missing (not its parents); `made` tells whether this
// run made it, so that a run that cannot start takes it away again.
bool ResolveFolder(Arguments& args, bool& made, std::string& error) {
    Target& target = args.session.record.target;
    target.folder = args.output;
    target.stem = args.stem;
    made = ::mkdir(args.output.c_str(), 0777) == 0;
    if (!made && errno != EEXIST) {
        error = "cannot make the folder \"" + args.output + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}

volatile std::sig_atomic_t g_interrupted = 0;

void OnSignal(int signal) {
    g_interrupted = 1;
    // A second one ends the program at once.
    std::signal(signal, SIG_DFL);
}

// The status window's words, in a line that a terminal rewrites in place.
std::string ProgressLine(const Progress& p, size_t memoryCap) {
    const ocu::RecordStatusText text = ocu::DescribeProgress(p, memoryCap);
    return text.written + " written  " + std::to_string(p.dropped) + " dropped  " + text.rate + "  " +
           text.time + "  free " + text.space + "  waiting " + text.waiting;
}

} // namespace

int main(int argc, char** argv) {
    int status = 0;
    std::optional<Arguments> args = Parse(argc, argv, status);
    if (!args)
        return status;
    std::string error;
    if (!IsSequence(args->session.record.target.format) && !ResolveVideo(*args, error))
        return UsageError(error);
    bool madeFolder = false;
    if (IsSequence(args->session.record.target.format) && !ResolveFolder(*args, madeFolder, error)) {
        std::fprintf(stderr, "ocusnap-record: %s\n", error.c_str());
        return 1;
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);

    tool::Session session;
    if (!session.Start(args->session, error)) {
        std::fprintf(stderr, "ocusnap-record: %s\n", error.c_str());
        if (madeFolder)
            ::rmdir(args->output.c_str());
        return 1;
    }
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const Target& target = args->session.record.target;
    std::fprintf(stderr, "Recording %dx%d (%s) into %s; Ctrl+C stops.\n", session.Width(), session.Height(),
                 FormatName(target.format),
                 IsSequence(target.format) ? (target.folder + "/").c_str() : VideoPath(target).c_str());
    int tick = 0;
    while (!session.Finished()) {
        if (g_interrupted) {
            session.Stop();
            g_interrupted = 0;
        }
        session.Watch();
        if (terminal && tick++ % 3 == 0)
            std::fprintf(stderr, "\r\033[K%s",
                         ProgressLine(session.GetProgress(), args->session.record.memoryCap).c_str());
        const timespec pause{0, 100000000};
        nanosleep(&pause, nullptr);
    }
    session.Close();
    const Progress p = session.GetProgress();
    if (terminal)
        std::fprintf(stderr, "\r\033[K");
    if (!p.message.empty())
        std::fprintf(stderr, "ocusnap-record: %s\n", p.message.c_str());
    if (!p.note.empty())
        std::fprintf(stderr, "ocusnap-record: %s\n", p.note.c_str());
    const double rate = p.seconds > 0 ? static_cast<double>(p.written) / p.seconds : 0.0;
    std::printf("%llu frames written, %llu dropped, %.1f fps over %.2f s (%s), into %s\n",
                static_cast<unsigned long long>(p.written), static_cast<unsigned long long>(p.dropped), rate,
                p.seconds, ocu::ByteSizeText(static_cast<double>(p.bytes)).c_str(),
                IsSequence(target.format) ? (target.folder + "/").c_str() : VideoPath(target).c_str());
    const bool clean = p.outcome == Outcome::Stopped || p.outcome == Outcome::LimitReached;
    return clean && p.dropped == 0 ? 0 : 1;
}
