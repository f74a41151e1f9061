// The C API's contract: backend selection, the handle checks, argument ranges, the information
// protocol, error injection and the error texts.
#include "ConfigurationProblem.h"
#include "TestSupport.h"

#include <set>
#include <string>

namespace ocusnap::test {
namespace {

int32_t Noop(SnapInfo*) {
    return 1;
}

TEST(Backend, SimulatedCameraIsTheDefault) {
    ScopedEnv env{{"OCUSNAP_CAMERA", nullptr}};
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    EXPECT_NE(cam.handle, nullptr);
}

TEST(Backend, NoneMeansNoCameraWasFound) {
    ScopedEnv env{{"OCUSNAP_CAMERA", "none"}};
    OCUHANDLE h = reinterpret_cast<OCUHANDLE>(uintptr_t{0x1234});
    const OCUSTATUS s = BeginOcuDevice(1, &h);
    EXPECT_EQ(s, OCU_ERR_NO_CAMERA);
    EXPECT_EQ(h, nullptr);
    EXPECT_NE(std::string(OcuGetErrorString(s)).find("No camera was found"), std::string::npos);
}

TEST(Backend, ConfigurationErrorsAreReportedNotGuessed) {
    for (const auto& [name, value] : {std::pair{"OCUSNAP_CAMERA", "genicam-typo"},
                                      {"OCUSNAP_BAYER", "RGBG"},
                                      {"OCUSNAP_DEVICE_TYPE", "7"},
                                      {"OCUSNAP_SIM_NOISE", "maybe"},
                                      {"OCUSNAP_SIM_FPS", "fast"},
                                      {"OCUSNAP_FAIL", "begin,explode"},
                                      {"OCUSNAP_SIM_SCENE", "beach"},
                                      // Not W x H, not multiples of 8, or out of 64..8192.
                                      {"OCUSNAP_SIM_SENSOR", "2592"},
                                      {"OCUSNAP_SIM_SENSOR", "2592x"},
                                      {"OCUSNAP_SIM_SENSOR", "2592X1944"},
                                      {"OCUSNAP_SIM_SENSOR", " 2592x1944"},
                                      {"OCUSNAP_SIM_SENSOR", "+2592x1944"},
                                      {"OCUSNAP_SIM_SENSOR", "02592x1944"},
                                      {"OCUSNAP_SIM_SENSOR", "2590x1944"},
                                      {"OCUSNAP_SIM_SENSOR", "2592x1942"},
                                      {"OCUSNAP_SIM_SENSOR", "56x64"},
                                      {"OCUSNAP_SIM_SENSOR", "8200x64"},
                                      {"OCUSNAP_SIM_SENSOR", "4294967296x8"},
                                      {"OCUSNAP_SIM_SENSOR", "2592x1944x3"}}) {
        ScopedEnv env{{name, value}};
        Camera cam;
        EXPECT_EQ(cam.status, OCU_ERR_BAD_CONFIGURATION) << name << "=" << value;
        EXPECT_EQ(cam.handle, nullptr);
        // The text names the variable and what it holds, and says what it takes.
        const std::string text = OcuGetErrorString(cam.status);
        EXPECT_NE(text.find(std::string(name) + " is \"" + value + "\"; it takes "), std::string::npos)
            << text;
    }
    // A value that cannot be shown as it is, shortened and made printable.
    EXPECT_EQ(detail::DescribeBadSetting("OCUSNAP_BAYER", "RG\tBG", "GRBG"),
              "OCUSNAP_BAYER is \"RG?BG\"; it takes GRBG");
    EXPECT_EQ(detail::DescribeBadSetting("OCUSNAP_BAYER", std::string(50, 'x'), "GRBG"),
              "OCUSNAP_BAYER is \"" + std::string(40, 'x') + "...\"; it takes GRBG");
}

TEST(Backend, TheCameraListFollowsTheBackend) {
    uint32_t count = 99;
    {
        ScopedEnv env{{"OCUSNAP_CAMERA", "none"}};
        ASSERT_EQ(OcuListCameras(nullptr, &count), OCU_OK);
        EXPECT_EQ(count, 0u);
    }
    ScopedEnv env{{"OCUSNAP_CAMERA", "sim"}, {"OCUSNAP_DEVICE_TYPE", "1"}};
    OcuCameraEntry entry{};
    count = 1;
    ASSERT_EQ(OcuListCameras(&entry, &count), OCU_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(entry.szId, "sim");
    EXPECT_STREQ(entry.szModel, "simulated camera, device type 1");
    EXPECT_EQ(OcuListCameras(&entry, nullptr), OCU_ERR_INVALID_ARGUMENT);
    env.Set("OCUSNAP_CAMERA", "genicam-typo");
    EXPECT_EQ(OcuListCameras(nullptr, &count), OCU_ERR_BAD_CONFIGURATION);
#ifndef OCUSNAP_HAVE_ARAVIS
    // A build without Aravis says so, rather than that no camera is there.
    env.Set("OCUSNAP_CAMERA", "aravis");
    Camera cam;
    EXPECT_EQ(cam.status, OCU_ERR_BACKEND_MISSING);
    EXPECT_NE(std::string(OcuGetErrorString(cam.status)).find("without Aravis"), std::string::npos);
    EXPECT_EQ(OcuListCameras(nullptr, &count), OCU_ERR_BACKEND_MISSING);
#endif
}

TEST(Backend, ACameraIdWinsOverTheEnvironment) {
    // OCUSNAP_CAMERA says no camera; the id names one anyway, or defers to it when it is empty.
    ScopedEnv env{{"OCUSNAP_CAMERA", "none"}};
    struct Case {
        const char* id;
        OCUSTATUS expected;
    };
    const Case cases[] = {
        {"sim", OCU_OK},
        {nullptr, OCU_ERR_NO_CAMERA},
        {"", OCU_ERR_NO_CAMERA},
        {"none", OCU_ERR_NO_CAMERA},
        // Malformed ids are the caller's argument, not the environment's configuration.
        {"genicam-typo", OCU_ERR_INVALID_ARGUMENT},
        {"sim:1", OCU_ERR_INVALID_ARGUMENT},
        {"aravis:", OCU_ERR_INVALID_ARGUMENT},
        {"SIM", OCU_ERR_INVALID_ARGUMENT},
#ifndef OCUSNAP_HAVE_ARAVIS
        {"aravis:Fake_1", OCU_ERR_BACKEND_MISSING},
#endif
    };
    for (const Case& c : cases) {
        OCUHANDLE h = reinterpret_cast<OCUHANDLE>(uintptr_t{0x1234});
        EXPECT_EQ(BeginOcuDeviceById(c.id, &h), c.expected) << (c.id ? c.id : "null");
        EXPECT_EQ(h != nullptr, c.expected == OCU_OK) << (c.id ? c.id : "null");
        if (h != nullptr) {
            EXPECT_EQ(CameraIdOf(h), "sim");
            // Opened by id it is the same camera as camera 1: one opener at a time.
            env.Set("OCUSNAP_CAMERA", "sim");
            OCUHANDLE second = nullptr;
            EXPECT_EQ(BeginOcuDevice(OCU_FIRST_DEVICE, &second), OCU_ERR_DEVICE_OPEN);
            EXPECT_EQ(BeginOcuDeviceById("sim", &second), OCU_ERR_DEVICE_OPEN);
            EXPECT_EQ(EndOcuDevice(h), OCU_OK);
            env.Set("OCUSNAP_CAMERA", "none");
        }
    }
    EXPECT_EQ(BeginOcuDeviceById("sim", nullptr), OCU_ERR_INVALID_ARGUMENT);
    // The simulated camera's own settings still apply.
    env.Set("OCUSNAP_DEVICE_TYPE", "7");
    OCUHANDLE h = nullptr;
    EXPECT_EQ(BeginOcuDeviceById("sim", &h), OCU_ERR_BAD_CONFIGURATION);
}

TEST(Backend, OnlyCameraOneExistsAndItOpensOnce) {
    OCUHANDLE h = nullptr;
    EXPECT_EQ(BeginOcuDevice(0, &h), OCU_ERR_NO_CAMERA);
    EXPECT_EQ(BeginOcuDevice(2, &h), OCU_ERR_NO_CAMERA);
    EXPECT_EQ(BeginOcuDevice(1, nullptr), OCU_ERR_INVALID_ARGUMENT);
    Camera first;
    ASSERT_EQ(first.status, OCU_OK);
    EXPECT_EQ(BeginOcuDevice(1, &h), OCU_ERR_DEVICE_OPEN);
    EXPECT_EQ(h, nullptr);
}

TEST(Handles, NullStaleAndForgedHandlesAreRefusedEverywhere) {
    OCUHANDLE stale = nullptr;
    ASSERT_EQ(BeginOcuDevice(1, &stale), OCU_OK);
    ASSERT_EQ(EndOcuDevice(stale), OCU_OK);
    // The camera can be opened again and gets a handle that differs from the ended one.
    Camera reopened;
    ASSERT_EQ(reopened.status, OCU_OK);
    EXPECT_NE(reopened.handle, stale);

    uint8_t pixel = 0;
    uint8_t* const buffers[] = {&pixel};
    uint32_t size = 4;
    int32_t type = 0;
    for (OCUHANDLE h : {OCUHANDLE{nullptr}, stale, reinterpret_cast<OCUHANDLE>(uintptr_t{0xDEADBEEF}),
                        reinterpret_cast<OCUHANDLE>(~uintptr_t{0})}) {
        EXPECT_EQ(EndOcuDevice(h), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuGetDeviceInfo(h, 0, &type, &size), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuGetDeviceInfo(h, OCU_INFO_CAMERA_ID, nullptr, &size), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuSetResolution(h, 0), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuSetSnapMode(h, 0), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuSetSnapSpeed(h, 1), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuSetBlanking(h, 0, 0), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuSetOutputWindow(h, 0, 0, 8, 8), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuAGCControl(h, OCU_GAIN_RED, 8), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuADCControl(h, 0, 1), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuAECControl(h, 1, 100), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuOpenSnap(h, Noop, nullptr), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuStartSnap(h, buffers, 1), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuStopSnap(h), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuCloseSnap(h), OCU_ERR_INVALID_HANDLE);
        EXPECT_EQ(OcuSnapShot(h, buffers, 1), OCU_ERR_INVALID_HANDLE);
    }
    // The open camera is untouched by all of that.
    EXPECT_EQ(OcuSetResolution(reopened.handle, 2), OCU_OK);
}

TEST(DeviceInfo, SizeProtocol) {
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);

    uint32_t size = 0;
    ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_DEVICE_TYPE, nullptr, &size), OCU_OK);
    EXPECT_EQ(size, 4u);
    int32_t type = -1;
    size = 4;
    ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_DEVICE_TYPE, &type, &size), OCU_OK);
    EXPECT_EQ(type, 2);

    size = 0;
    ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_RESOLUTIONS, nullptr, &size), OCU_OK);
    ASSERT_EQ(size, 3 * sizeof(ResolutionEntry));
    ResolutionEntry table[3] = {};
    size = 2 * sizeof(ResolutionEntry); // too small: refused, nothing written, the size needed reported
    EXPECT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_RESOLUTIONS, table, &size), OCU_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 3 * sizeof(ResolutionEntry));
    EXPECT_EQ(table[0].nWidth, 0);
    ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_RESOLUTIONS, table, &size), OCU_OK);
    EXPECT_EQ(table[0].nWidth, 1280);
    EXPECT_EQ(table[0].nHeight, 1024);
    EXPECT_EQ(table[1].nWidth, 640);
    EXPECT_EQ(table[1].nHeight, 480);
    EXPECT_EQ(table[2].nWidth, 320);
    EXPECT_EQ(table[2].nHeight, 240);

    size = 0;
    ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_BLANKING_LIMITS, nullptr, &size), OCU_OK);
    ASSERT_EQ(size, 16u);
    BlankingLimits limits{};
    ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_BLANKING_LIMITS, &limits, &size), OCU_OK);
    EXPECT_LT(limits.nHMin, limits.nHMax);
    EXPECT_LT(limits.nVMin, limits.nVMax);
    // Wider than the fixed range on at least one side, so a value outside it can be set.
    EXPECT_TRUE(limits.nHMin < -9 || limits.nHMax > 1930 || limits.nVMin < -9 || limits.nVMax > 1930);

    // The camera's id, opened as camera 1, NUL included; a buffer too small is refused unwritten.
    size = 0;
    ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_CAMERA_ID, nullptr, &size), OCU_OK);
    EXPECT_EQ(size, 4u);
    char id[4] = {'x', 'x', 'x', 'x'};
    size = 3;
    EXPECT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_CAMERA_ID, id, &size), OCU_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(id[0], 'x');
    EXPECT_EQ(CameraIdOf(cam.handle), "sim");
    EXPECT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_CAMERA_ID, id, nullptr), OCU_ERR_INVALID_ARGUMENT);

    EXPECT_EQ(OcuGetDeviceInfo(cam.handle, 2, nullptr, &size), OCU_ERR_UNKNOWN_INFO);
    EXPECT_EQ(OcuGetDeviceInfo(cam.handle, -1, nullptr, &size), OCU_ERR_UNKNOWN_INFO);
    EXPECT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_DEVICE_TYPE, &type, nullptr), OCU_ERR_INVALID_ARGUMENT);
}

TEST(DeviceInfo, DeviceTypeDecidesSpeedAndBlankingQuery) {
    for (int type = 0; type <= 3; ++type) {
        const std::string text = std::to_string(type);
        ScopedEnv env{{"OCUSNAP_DEVICE_TYPE", text.c_str()}};
        Camera cam;
        ASSERT_EQ(cam.status, OCU_OK);
        int32_t reported = -1;
        uint32_t size = 4;
        ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_DEVICE_TYPE, &reported, &size), OCU_OK);
        EXPECT_EQ(reported, type);
        const bool modern = type >= 2;
        size = 0;
        EXPECT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_BLANKING_LIMITS, nullptr, &size),
                  modern ? OCU_OK : OCU_ERR_NOT_SUPPORTED);
        EXPECT_EQ(OcuSetSnapSpeed(cam.handle, 0), modern ? OCU_OK : OCU_ERR_NOT_SUPPORTED);
    }
}

TEST(Arguments, OutOfRangeValuesAreRefused) {
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    const OCUHANDLE h = cam.handle;
    EXPECT_EQ(OcuSetResolution(h, -1), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSetResolution(h, 3), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSetSnapMode(h, 2), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSetSnapMode(h, -1), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSetSnapSpeed(h, 2), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuADCControl(h, 0, 4), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuADCControl(h, 0, -1), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuADCControl(h, 1, 1), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuAECControl(h, 0, 100), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuAECControl(h, 1, -1), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuAECControl(h, 1, OCU_EXPOSURE_MAX + 1), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuAGCControl(h, 0x0F, 8), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuAGCControl(h, 0x14, 8), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuAGCControl(h, OCU_GAIN_BLUE, OCU_GAIN_MAX + 1), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuAGCControl(h, OCU_GAIN_BLUE, -1), OCU_ERR_INVALID_ARGUMENT);

    // The window must lie inside the current mode's image.
    EXPECT_EQ(OcuSetOutputWindow(h, 0, 0, 1281, 1024), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSetOutputWindow(h, 1, 0, 1280, 1024), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSetOutputWindow(h, -4, 0, 100, 100), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSetOutputWindow(h, 0, 0, -2, 100), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSetOutputWindow(h, INT32_MAX, 0, INT32_MAX, 1), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSetOutputWindow(h, 0, 0, 1280, 1024), OCU_OK);
    ASSERT_EQ(OcuSetResolution(h, 2), OCU_OK);
    EXPECT_EQ(OcuSetOutputWindow(h, 0, 0, 640, 480), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSetOutputWindow(h, 0, 0, 320, 240), OCU_OK);

    // Extremes of every range are taken.
    EXPECT_EQ(OcuAECControl(h, 1, 0), OCU_OK);
    EXPECT_EQ(OcuAECControl(h, 1, OCU_EXPOSURE_MAX), OCU_OK);
    EXPECT_EQ(OcuAGCControl(h, OCU_GAIN_RED, 0), OCU_OK);
    EXPECT_EQ(OcuAGCControl(h, OCU_GAIN_GREEN_BLUE_ROW, OCU_GAIN_MAX), OCU_OK);
    EXPECT_EQ(OcuADCControl(h, 0, 3), OCU_OK);
    // Blanking is clamped, not refused.
    EXPECT_EQ(OcuSetBlanking(h, -100000, 100000), OCU_OK);

    int32_t dummy = 0;
    uint8_t pixel = 0;
    uint8_t* const good[] = {&pixel};
    uint8_t* const nullBuffer[] = {nullptr};
    EXPECT_EQ(OcuSnapShot(h, nullptr, 1), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSnapShot(h, nullBuffer, 1), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSnapShot(h, good, 0), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSnapShot(h, good, 2), OCU_ERR_INVALID_ARGUMENT);
    ASSERT_EQ(OcuOpenSnap(h, Noop, &dummy), OCU_OK);
    EXPECT_EQ(OcuStartSnap(h, nullptr, 1), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuStartSnap(h, nullBuffer, 1), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuStartSnap(h, good, 2), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuCloseSnap(h), OCU_OK);
}

TEST(CaptureState, CallsOutOfOrderAreRefused) {
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    const OCUHANDLE h = cam.handle;
    Frame frame;
    uint8_t* const buffers[] = {frame.data()};

    EXPECT_EQ(OcuStartSnap(h, buffers, 1), OCU_ERR_SNAP_NOT_OPEN);
    EXPECT_EQ(OcuStopSnap(h), OCU_ERR_SNAP_NOT_OPEN);
    EXPECT_EQ(OcuCloseSnap(h), OCU_ERR_SNAP_NOT_OPEN);
    EXPECT_EQ(OcuOpenSnap(h, nullptr, nullptr), OCU_ERR_INVALID_ARGUMENT);

    ASSERT_EQ(OcuOpenSnap(h, Noop, nullptr), OCU_OK);
    EXPECT_EQ(OcuOpenSnap(h, Noop, nullptr), OCU_ERR_SNAP_ALREADY_OPEN);
    EXPECT_EQ(OcuStopSnap(h), OCU_OK); // stopping what has not started is harmless
    ASSERT_EQ(OcuStartSnap(h, buffers, 1), OCU_OK);
    EXPECT_EQ(OcuSetOutputWindow(h, 0, 0, 640, 480), OCU_ERR_SNAP_RUNNING);
    EXPECT_EQ(OcuSnapShot(h, buffers, 1), OCU_ERR_SNAP_RUNNING);
    EXPECT_EQ(OcuSetResolution(h, 1), OCU_OK); // accepted during acquisition
    ASSERT_EQ(OcuStopSnap(h), OCU_OK);
    EXPECT_EQ(OcuSetOutputWindow(h, 0, 0, 640, 480), OCU_OK);
    ASSERT_EQ(OcuCloseSnap(h), OCU_OK);
    EXPECT_EQ(OcuCloseSnap(h), OCU_ERR_SNAP_NOT_OPEN);
    // A closed capture can be opened again.
    EXPECT_EQ(OcuOpenSnap(h, Noop, nullptr), OCU_OK);
}

TEST(ErrorInjection, EachNamedCallFailsWithItsOwnStatus) {
    {
        ScopedEnv env{{"OCUSNAP_FAIL", "begin"}};
        Camera cam;
        EXPECT_EQ(cam.status, OCU_ERR_DEVICE_OPEN);
        EXPECT_EQ(cam.handle, nullptr);
    }
    ScopedEnv env{{"OCUSNAP_FAIL", "open,start,snapshot"}, {"OCUSNAP_SIM_FPS", "max"}};
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    Frame frame;
    uint8_t* const buffers[] = {frame.data()};
    EXPECT_EQ(OcuSnapShot(cam.handle, buffers, 1), OCU_ERR_SNAPSHOT);
    EXPECT_EQ(OcuOpenSnap(cam.handle, Noop, nullptr), OCU_ERR_CAPTURE_OPEN);
    EXPECT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_ERR_SNAP_NOT_OPEN);

    ScopedEnv onlyStart{{"OCUSNAP_FAIL", "start"}};
    EndOcuDevice(cam.handle);
    cam.handle = nullptr;
    Camera second;
    ASSERT_EQ(second.status, OCU_OK);
    ASSERT_EQ(OcuOpenSnap(second.handle, Noop, nullptr), OCU_OK);
    EXPECT_EQ(OcuStartSnap(second.handle, buffers, 1), OCU_ERR_CAPTURE_START);
    EXPECT_EQ(OcuCloseSnap(second.handle), OCU_OK);
    EXPECT_EQ(Snap(second.handle, frame, 1280, 1024), OCU_OK);
}

TEST(ErrorStrings, EveryStatusHasItsOwnText) {
    std::set<std::string> texts;
    for (OCUSTATUS s = OCU_OK; s <= OCU_ERR_BACKEND_MISSING; ++s) {
        const char* text = OcuGetErrorString(s);
        ASSERT_NE(text, nullptr);
        EXPECT_GT(std::string(text).size(), 10u);
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), static_cast<size_t>(OCU_ERR_BACKEND_MISSING + 1));
    for (OCUSTATUS unknown : {-1, OCU_ERR_BACKEND_MISSING + 1, 100000, INT32_MIN}) {
        ASSERT_NE(OcuGetErrorString(unknown), nullptr);
        EXPECT_EQ(texts.count(OcuGetErrorString(unknown)), 0u);
    }
}

} // namespace
} // namespace ocusnap::test

TEST(ModelNames, TheNamedTypesAndNoneForLaterModels) {
    EXPECT_STREQ(OcuGetModelName(0), "VelA");
    EXPECT_STREQ(OcuGetModelName(1), "VelB");
    EXPECT_STREQ(OcuGetModelName(2), "VelC");
    for (const int32_t type : {3, 4, -1, INT32_MIN, INT32_MAX})
        EXPECT_EQ(OcuGetModelName(type), nullptr) << type;
}
