// How many frames the live view handles per second when the camera is never the limit: the simulated
// camera delivers as fast as it renders (OCUSNAP_SIM_FPS=max) into the real CMainFrame, whose hand-over,
// pipeline and painting into the view run as in the program, headless, at 1280 x 1024 and, on a simulated
// 5-megapixel sensor, at 2592 x 1944. Each frame's pipeline and painting are timed where they run, to show
// where a frame's time goes; the camera renders the next frame meanwhile on a thread of its own.
// Targets: at least 100 frames per second for Fast colour at 1280 x 1024, and painting cheaper than the
// pipeline. The Histogram window, open over the live picture, costs Fast colour at 1280 x 1024 at most 5 %
// of its frame rate: measured in rounds that alternate the window closed and open, so that a change of the
// machine's load meets both alike; the median of the rounds' ratios is the figure.
#include "app/OcuViewerApp.h"
#include "camera/FrameHandOver.h"
#include "display/HistogramWnd.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"
#include "frame/MainFrame.h"
#include "frame/Settings.h"
#include "imaging/FramePipeline.h"
#include "imaging/YuvLut.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace ocu;

namespace {

// The user's settings and caches stay out of the measurement.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "viewer-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string Sub(const char* name) const {
        const std::filesystem::path sub = m_path / name;
        std::filesystem::create_directories(sub);
        std::filesystem::permissions(sub, std::filesystem::perms::owner_all);
        return sub.string();
    }

private:
    std::filesystem::path m_path;
};

void RunEventsFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Times the stages of every frame where the live view handles it: the frame-ready event is taken here and
// given to the frame's own handler, and the view's paint, which that handler runs synchronously, marks the
// end of the pipeline.
class StageClock : public QObject {
public:
    StageClock(CMainFrame& frame, QWidget& view) : m_frame(frame), m_view(view) {
        frame.installEventFilter(this);
        view.installEventFilter(this);
    }

    void Reset() {
        frames = 0;
        pipelineMs = 0;
        paintMs = 0;
    }

    int frames = 0;
    double pipelineMs = 0;
    double paintMs = 0; // with the title that follows it

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &m_frame && event->type() == FrameReadyEvent::EventType()) {
            m_start = Clock::now();
            m_painted = m_start;
            m_frame.OnFrameReady(*static_cast<FrameReadyEvent*>(event));
            const Clock::time_point end = Clock::now();
            ++frames;
            pipelineMs += Ms(m_painted - m_start);
            paintMs += Ms(end - m_painted);
            return true;
        }
        if (watched == &m_view && event->type() == QEvent::Paint)
            m_painted = Clock::now();
        return false;
    }

private:
    using Clock = std::chrono::steady_clock;
    static double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

    CMainFrame& m_frame;
    QWidget& m_view;
    Clock::time_point m_start;
    Clock::time_point m_painted;
};

// What is open beside the live picture: nothing, the Histogram window, or the window with its clipping marks.
enum class Aids { None, Histogram, Marks };

struct Case {
    const char* name;
    int imageMode;
    int conversion;
    Aids aids = Aids::None;
};

struct Sensor {
    const char* setting; // OCUSNAP_SIM_SENSOR, or null for the standard sensor
    int width;
    int height;
};

// Processor time of the whole process, all its threads, in milliseconds.
double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// What one case gave: frames per second (0 when none came) and processor milliseconds a frame.
struct Rate {
    double fps = 0;
    double cpuMs = 0;
};

Rate Measure(CMainFrame& frame, StageClock& clock, const Case& c) {
    frame.m_nImageMode = c.imageMode;
    frame.m_nConversion = c.conversion;
    if (c.aids != Aids::None) {
        frame.ExecuteCommand(kIdHistogram);
        frame.HistogramWnd()
            ->findChild<QCheckBox*>(QStringLiteral("marks"))
            ->setChecked(c.aids == Aids::Marks);
    }
    frame.ExecuteCommand(kIdContinuousSnap);
    // The first frames of a sensor prepare its chart: timing starts once frames flow.
    QElapsedTimer warmUp;
    warmUp.start();
    while (frame.m_nFrameCount < 5 && warmUp.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    RunEventsFor(300);
    clock.Reset();
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = ProcessCpuMs();
    RunEventsFor(3000);
    const double elapsedMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const double cpuMs = ProcessCpuMs() - cpuStart;
    frame.ExecuteCommand(kIdContinuousSnap);
    if (frame.IsHistogramShown())
        frame.ExecuteCommand(kIdHistogram);
    QApplication::processEvents();

    if (clock.frames == 0) {
        std::printf("%-24s no frame in %.0f ms\n", c.name, elapsedMs);
        return {};
    }
    // Per handled frame: for the slower types a converted and a dropped one average out, as the live view
    // meets them.
    const double perFrame = elapsedMs / clock.frames;
    const double pipeline = clock.pipelineMs / clock.frames;
    const double paint = clock.paintMs / clock.frames;
    const double rest = perFrame - pipeline - paint;
    std::printf("%-24s %9.1f %10.3f (%4.1f %%) %10.3f (%4.1f %%) %10.3f (%4.1f %%)\n", c.name,
                1000.0 / perFrame, pipeline, 100.0 * pipeline / perFrame, paint, 100.0 * paint / perFrame,
                rest, 100.0 * rest / perFrame);
    return {1000.0 / perFrame, cpuMs / clock.frames};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0.0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The Histogram window's cost to the live picture: rounds of Fast colour without and with it. Beside the
// frame rate, the processor time a frame costs the whole process: the rate swings with the other work on a
// shared machine, the cost a frame hardly.
void MeasureAidsCost(CMainFrame& frame, StageClock& clock) {
    constexpr int kRounds = 5;
    const Case closed{"Fast, no Histogram", 0, 1};
    const Case open{"Fast, Histogram open", 0, 1, Aids::Histogram};
    std::vector<double> rates;
    std::vector<double> costs;
    for (int round = 0; round < kRounds; ++round) {
        const Rate without = Measure(frame, clock, closed);
        const Rate with = Measure(frame, clock, open);
        if (without.fps > 0 && with.fps > 0) {
            rates.push_back(with.fps / without.fps);
            costs.push_back(with.cpuMs / without.cpuMs);
        }
    }
    const double kept = 100.0 * Median(rates);
    std::printf("Histogram window open, medians of %zu rounds: the frame rate %.1f %% of that without it "
                "(target at least 95 %%: %s), the processor time a frame %+.1f %%\n",
                rates.size(), kept, kept >= 95.0 ? "met" : "NOT MET", 100.0 * (Median(costs) - 1.0));
}

// Starts the viewer on a simulated sensor, makes its region the whole sensor and measures each case.
int MeasureSensor(const Sensor& sensor, std::initializer_list<Case> cases) {
    if (sensor.setting)
        setenv("OCUSNAP_SIM_SENSOR", sensor.setting, 1);
    else
        unsetenv("OCUSNAP_SIM_SENSOR");
    std::ofstream(SettingsFilePath()) << "[Video Parameter]\nResolution=0\nBayerLayout=2\n";

    COcuViewerApp app;
    if (!app.InitInstance({})) {
        std::fprintf(stderr, "viewer-bench: the viewer did not start\n");
        return 1;
    }
    CMainFrame& frame = *app.MainFrame();
    QWidget& view = *frame.GetActiveView();
    frame.resize(sensor.width + frame.width() - view.width(), sensor.height + frame.height() - view.height());
    RunEventsFor(200);
    if (frame.m_rcRegion.Width() != sensor.width || frame.m_rcRegion.Height() != sensor.height) {
        std::fprintf(stderr, "viewer-bench: the region is %d x %d, not %d x %d\n", frame.m_rcRegion.Width(),
                     frame.m_rcRegion.Height(), sensor.width, sensor.height);
        return 1;
    }
    // The gray table is built here, before anything is timed.
    frame.ExecuteCommand(kIdImageBw);
    frame.ExecuteCommand(kIdImageColor);

    std::printf("viewer-bench: the live view at %d x %d, simulated camera at full speed (%s)\n", sensor.width,
                sensor.height, qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("%-24s %9s %22s %22s %22s\n", "", "frames/s", "pipeline ms/frame", "paint ms/frame",
                "camera + hand-over");
    StageClock clock(frame, view);
    for (const Case& c : cases)
        Measure(frame, clock, c);
    if (!sensor.setting)
        MeasureAidsCost(frame, clock);
    frame.close();
    return app.ExitInstance();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const TempFolder folder;
    setenv("XDG_CONFIG_HOME", folder.Sub("config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", folder.Sub("runtime").c_str(), 1);
    setenv("XDG_CACHE_HOME", folder.Sub("cache").c_str(), 1);
    setenv("OCUSNAP_CAMERA", "sim", 1);
    setenv("OCUSNAP_SIM_FPS", "max", 1);
    SetYuvLutFolderForTesting(folder.Sub("lut"));

    QApplication qtApp(argc, argv);
    const Case fast{"Fast colour", 0, kConversionFast};
    const Case best{"Best colour", 0, kConversionBest};
    const Case gray{"black-and-white", 1, kConversionFast};
    const Case marks{"Fast, clipping marks", 0, kConversionFast, Aids::Marks};
    if (const int failed = MeasureSensor(Sensor{nullptr, 1280, 1024}, {fast, best, gray, marks}))
        return failed;
    std::printf("\n");
    return MeasureSensor(Sensor{"2592x1944", 2592, 1944}, {fast, best});
}
