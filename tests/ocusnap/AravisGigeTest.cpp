// A real GigE Vision link: Aravis's GigE Vision camera simulator (arv-fake-gv-camera-0.8, Debian's
// aravis-tools) streams to the driver over UDP, with the simulator's own packet loss.
//
// Only inside a private network namespace that this program makes for itself before anything else
// runs: its loopback is the only interface there, so neither the camera nor Aravis's discovery ever
// reaches a real network. Where no namespace can be made (not root, no user namespaces) every test says
// so and is skipped. Each test starts its own camera and ends it; every wait is bounded.
#include "AravisSupport.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ocusnap::test {
namespace {

using namespace std::chrono_literals;

constexpr char kSimulator[] = "/usr/bin/arv-fake-gv-camera-0.8";
constexpr char kSerial[] = "OCUTEST";
// The id Aravis gives the simulator: vendor, model and serial.
constexpr char kCameraId[] = "aravis:Aravis-Fake-OCUTEST";

// Why the tests cannot run here; empty when the namespace is there.
std::string g_unavailable;

// Brings the namespace's loopback up (a new namespace has it down).
bool LoopbackUp() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        return false;
    }
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
    up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    close(fd);
    return up;
}

void EnterPrivateNetwork() {
    if (access(kSimulator, X_OK) != 0) {
        g_unavailable = std::string(kSimulator) + " is not installed (Debian's aravis-tools)";
    } else if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        // Without root, a user namespace of its own can hold the network namespace where the system
        // allows unprivileged ones.
        g_unavailable = std::string("no private network namespace could be made (") + std::strerror(errno) +
                        "; it needs root or unprivileged user namespaces)";
    } else if (!LoopbackUp()) {
        g_unavailable = "the private namespace's loopback could not be brought up";
    }
}

// The simulator on the namespace's loopback, for one test.
class Simulator {
public:
    explicit Simulator(int lostPerThousand) {
        const std::string lost = std::to_string(lostPerThousand);
        const char* argv[] = {kSimulator, "-i", "127.0.0.1", "-s", kSerial, "-r", lost.c_str(), nullptr};
        m_pid = fork();
        if (m_pid == 0) {
            // It ends with this program, also when a time limit kills the program.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            execv(kSimulator, const_cast<char**>(argv));
            _exit(127);
        }
    }
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;
    ~Simulator() { Kill(); }
    bool Running() const { return m_pid > 0; }
    // As a camera that loses its power.
    void Kill() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
};

class GigeCamera : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_unavailable.empty()) {
            GTEST_SKIP() << "skipped: " << g_unavailable;
        }
    }
    void TearDown() override {
        if (handle) {
            EndOcuDevice(handle);
        }
        DrainDeliveryThreads();
    }
    // Opens the simulator by its id; it answers once it has set itself up.
    void Open() {
        OCUSTATUS status = OCU_ERR_NO_CAMERA;
        for (int attempt = 0; attempt < 50 && status != OCU_OK; ++attempt) {
            status = BeginOcuDeviceById(kCameraId, &handle);
            if (status != OCU_OK) {
                std::this_thread::sleep_for(100ms);
            }
        }
        ASSERT_EQ(status, OCU_OK) << OcuGetErrorString(status);
    }
    // Opens the simulator and streams frames of width x height until the first ones have come.
    void OpenAndStream(int32_t width, int32_t height) {
        ASSERT_NO_FATAL_FAILURE(Open());
        ASSERT_EQ(OcuSetOutputWindow(handle, 0, 0, width, height), OCU_OK);
        log.buffer = buffer.data();
        ASSERT_EQ(OcuOpenSnap(handle, FrameLog::Receive, &log), OCU_OK);
        ASSERT_EQ(OcuStartSnap(handle, buffers, 1), OCU_OK);
        ASSERT_NO_FATAL_FAILURE(ExpectFrames(width, height, "start"));
    }
    void ExpectFrames(int32_t width, int32_t height, const std::string& step) {
        ExpectFramesOfSize(log, width, height, step, 30s);
    }

    ScopedEnv env{{"OCUSNAP_ARAVIS_FAKE", "0"}};
    OCUHANDLE handle = nullptr;
    FrameLog log;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(2048 * 2048);
    uint8_t* buffers[1] = {buffer.data()};
};

TEST_F(GigeCamera, FramesKeepComingThroughWindowAndModeChangesAlsoUnderPacketLoss) {
    // No loss, and one packet in a hundred lost, as on a poor link.
    for (const int lost : {0, 10}) {
        SCOPED_TRACE("lost packets per thousand: " + std::to_string(lost));
        Simulator simulator(lost);
        ASSERT_TRUE(simulator.Running());
        ASSERT_NO_FATAL_FAILURE(OpenAndStream(512, 512));
        // Windows between a stop and a start, as a resize; modes while frames come. Each shrink after
        // a grow; the windows stay small enough for whole frames to come through the loss.
        const StreamStep steps[] = {{-1, 64, 32, 64, 32},     {-1, 320, 240, 320, 240}, {1, 0, 0, 320, 240},
                                    {2, 0, 0, 320, 240},      {-1, 128, 96, 128, 96},   {0, 0, 0, 128, 96},
                                    {-1, 512, 384, 512, 384}, {-1, 96, 64, 96, 64}};
        ASSERT_NO_FATAL_FAILURE(ExpectFramesThroughSteps(handle, log, buffers, steps, 30s));
        // Stop and start, then a single frame, as the viewer's Single Snap takes it.
        ASSERT_EQ(OcuStopSnap(handle), OCU_OK);
        ASSERT_EQ(OcuStartSnap(handle, buffers, 1), OCU_OK);
        ASSERT_NO_FATAL_FAILURE(ExpectFrames(96, 64, "stop and start"));
        ASSERT_EQ(OcuCloseSnap(handle), OCU_OK);
        // Single frames of a size that often loses a packet: each one still comes (asked for again).
        ASSERT_EQ(OcuSetOutputWindow(handle, 0, 0, 512, 384), OCU_OK);
        for (int snap = 0; snap < 3; ++snap) {
            EXPECT_EQ(OcuSnapShot(handle, buffers, 1), OCU_OK) << "single frame " << snap;
        }
        ASSERT_EQ(EndOcuDevice(handle), OCU_OK);
        handle = nullptr;
        DrainDeliveryThreads();
    }
}

TEST_F(GigeCamera, ACameraThatLosesItsPowerEndsDeliveryAndClosesWithoutWaitingForIt) {
    Simulator simulator(0);
    ASSERT_TRUE(simulator.Running());
    ASSERT_NO_FATAL_FAILURE(OpenAndStream(64, 32));
    simulator.Kill();
    // Aravis sees the loss by its heartbeat; the driver's next start says so.
    OCUSTATUS status = OCU_OK;
    ASSERT_TRUE(WaitUntil(
        [&] {
            OcuStopSnap(handle);
            status = OcuStartSnap(handle, buffers, 1);
            return status != OCU_OK;
        },
        30s));
    EXPECT_EQ(status, OCU_ERR_CAMERA_LOST);
    // Ending it must not wait for a camera that cannot answer: the viewer calls this on its window's
    // thread. (Aravis's own leave of a lost camera takes seconds of retries.)
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(EndOcuDevice(handle), OCU_OK);
    handle = nullptr;
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
}

// A camera that another program controls (Aravis itself here, as another program would) is refused as
// in use, with the reason, rather than taken for a lost one after seconds of unanswered writes; once that
// program has left it, it opens.
TEST_F(GigeCamera, ACameraAnotherProgramControlsIsRefusedAsInUseUntilItIsLeft) {
    Simulator simulator(0);
    ASSERT_TRUE(simulator.Running());
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_EQ(EndOcuDevice(handle), OCU_OK);
    handle = nullptr;
    DrainDeliveryThreads(); // the driver leaves the camera on a thread of its own
    GError* error = nullptr;
    ArvCamera* other = arv_camera_new(std::strchr(kCameraId, ':') + 1, &error);
    ASSERT_NE(other, nullptr) << (error ? error->message : "");
    ASSERT_TRUE(arv_gv_device_is_controller(ARV_GV_DEVICE(arv_camera_get_device(other))));
    EXPECT_EQ(BeginOcuDeviceById(kCameraId, &handle), OCU_ERR_DEVICE_OPEN);
    EXPECT_NE(std::strstr(OcuGetErrorString(OCU_ERR_DEVICE_OPEN), "another program controls it"), nullptr)
        << OcuGetErrorString(OCU_ERR_DEVICE_OPEN);
    g_object_unref(other);
    ASSERT_NO_FATAL_FAILURE(Open());
}

} // namespace
} // namespace ocusnap::test

int main(int argc, char** argv) {
    // Before any thread exists, so that every thread of the process lives in the namespace.
    ocusnap::test::EnterPrivateNetwork();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
