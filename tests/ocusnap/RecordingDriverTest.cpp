// The recording driver: what a program said to the camera, in order, with scripted answers.
#include "OcuSnapTesting.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <stdexcept>

namespace ocusnap::test {
namespace {

using ocusnap::testing::RecordingDriver;
using ::testing::ElementsAre;

int32_t Noop(SnapInfo*) {
    return 1;
}

TEST(RecordingDriver, RecordsEveryCallWithItsArguments) {
    RecordingDriver driver;
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    const OCUHANDLE h = cam.handle;
    uint32_t size = 0;
    int context = 0;
    Frame frame;
    uint8_t* const buffers[] = {frame.data()};
    ASSERT_EQ(OcuGetDeviceInfo(h, 1, nullptr, &size), OCU_OK);
    EXPECT_EQ(size, 24u);
    EXPECT_EQ(OcuSetResolution(h, 1), OCU_OK);
    EXPECT_EQ(OcuSetSnapMode(h, 0), OCU_OK);
    EXPECT_EQ(OcuSetOutputWindow(h, 0, 0, 644, 482), OCU_ERR_INVALID_ARGUMENT); // mode 1 is 640 x 480
    EXPECT_EQ(OcuSetSnapSpeed(h, 1), OCU_OK);
    EXPECT_EQ(OcuSetBlanking(h, 5000, -20), OCU_OK);
    EXPECT_EQ(OcuAGCControl(h, 0x12, 9), OCU_OK);
    EXPECT_EQ(OcuAECControl(h, 1, 945), OCU_OK);
    EXPECT_EQ(OcuADCControl(h, 0, 1), OCU_OK);
    EXPECT_EQ(OcuOpenSnap(h, Noop, &context), OCU_OK);
    EXPECT_EQ(OcuStartSnap(h, buffers, 1), OCU_OK);
    EXPECT_EQ(OcuStopSnap(h), OCU_OK);
    EXPECT_EQ(OcuCloseSnap(h), OCU_OK);
    EXPECT_EQ(OcuSnapShot(h, buffers, 1), OCU_OK);
    EXPECT_EQ(EndOcuDevice(h), OCU_OK);
    cam.handle = nullptr;
    EXPECT_EQ(OcuStopSnap(h), OCU_ERR_INVALID_HANDLE); // not the camera's call: not recorded

    EXPECT_THAT(driver.CallTexts(),
                ElementsAre("BeginOcuDevice(1)", "OcuGetDeviceInfo(1, null, 0)", "OcuSetResolution(1)",
                            "OcuSetSnapMode(0)", "OcuSetOutputWindow(0, 0, 644, 482)", "OcuSetSnapSpeed(1)",
                            "OcuSetBlanking(5000, -20)", "OcuAGCControl(0x12, 9)", "OcuAECControl(1, 945)",
                            "OcuADCControl(0, 1)", "OcuOpenSnap(fn, ctx)", "OcuStartSnap(buf, 1)",
                            "OcuStopSnap()", "OcuCloseSnap()", "OcuSnapShot(buf, 1)", "EndOcuDevice()"));
    const auto calls = driver.Calls();
    EXPECT_EQ(calls[4].args, (std::vector<int64_t>{0, 0, 644, 482}));
    EXPECT_EQ(calls[10].args[1], static_cast<int64_t>(reinterpret_cast<uintptr_t>(&context)));
    EXPECT_EQ(calls[11].args,
              (std::vector<int64_t>{static_cast<int64_t>(reinterpret_cast<uintptr_t>(frame.data())), 1}));
    // The snapshot filled the window that the camera had.
    EXPECT_EQ(frame.pixels[640 * 480 - 1], 0x80);
    EXPECT_EQ(frame.pixels[640 * 480], 0);

    driver.ClearCalls();
    EXPECT_TRUE(driver.Calls().empty());
}

TEST(RecordingDriver, ScriptedValuesAndStatuses) {
    RecordingDriver driver;
    driver.SetDeviceType(0);
    driver.SetResolutions({{800, 600}, {400, 300}});
    driver.SetStatus("OcuOpenSnap", OCU_ERR_CAPTURE_OPEN);
    driver.FailDeviceInfo(OCU_INFO_RESOLUTIONS, OCU_ERR_TIMEOUT);
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    int32_t type = -1;
    uint32_t size = 4;
    ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_DEVICE_TYPE, &type, &size), OCU_OK);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_RESOLUTIONS, nullptr, &size), OCU_ERR_TIMEOUT);
    driver.FailDeviceInfo(OCU_INFO_RESOLUTIONS, OCU_OK);
    size = 0;
    ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_RESOLUTIONS, nullptr, &size), OCU_OK);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(OcuSetResolution(cam.handle, 2), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 800, 600), OCU_OK);
    EXPECT_EQ(OcuOpenSnap(cam.handle, Noop, nullptr), OCU_ERR_CAPTURE_OPEN);
    EXPECT_EQ(OcuCloseSnap(cam.handle), OCU_ERR_SNAP_NOT_OPEN); // the scripted failure had no effect
    driver.SetStatus("OcuOpenSnap", OCU_OK);
    EXPECT_EQ(OcuOpenSnap(cam.handle, Noop, nullptr), OCU_OK);

    driver.SetBlankingLimits({-1, -2, 3, 4});
    driver.SetDeviceType(3);
    BlankingLimits limits{};
    size = sizeof limits;
    ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_BLANKING_LIMITS, &limits, &size), OCU_OK);
    EXPECT_EQ(limits.nHMax, 3);
    EXPECT_EQ(limits.nVMax, 4);
}

TEST(RecordingDriver, ScriptedBeginFailureAndCleanUp) {
    OCUHANDLE left = nullptr;
    {
        RecordingDriver driver;
        EXPECT_THROW(RecordingDriver second, std::logic_error);
        driver.SetStatus("BeginOcuDevice", OCU_ERR_NO_CAMERA);
        OCUHANDLE h = nullptr;
        EXPECT_EQ(BeginOcuDevice(1, &h), OCU_ERR_NO_CAMERA);
        EXPECT_EQ(h, nullptr);
        driver.SetStatus("BeginOcuDevice", OCU_OK);
        // An open by id is recorded with the id, and scripted on its own.
        driver.SetStatus("BeginOcuDeviceById", OCU_ERR_DEVICE_OPEN);
        EXPECT_EQ(BeginOcuDeviceById("aravis:cam-7", &h), OCU_ERR_DEVICE_OPEN);
        ASSERT_EQ(BeginOcuDevice(1, &left), OCU_OK);
        ASSERT_EQ(OcuOpenSnap(left, Noop, nullptr), OCU_OK); // left open on purpose
        EXPECT_THAT(driver.CallTexts(), ElementsAre("BeginOcuDevice(1)", "BeginOcuDeviceById(aravis:cam-7)",
                                                    "BeginOcuDevice(1)", "OcuOpenSnap(fn, null)"));
    }
    // The driver closed what the program left open and gave the normal backend back.
    EXPECT_EQ(OcuCloseSnap(left), OCU_ERR_INVALID_HANDLE);
    Camera sim;
    ASSERT_EQ(sim.status, OCU_OK);
    int32_t type = -1;
    uint32_t size = 4;
    ASSERT_EQ(OcuGetDeviceInfo(sim.handle, OCU_INFO_DEVICE_TYPE, &type, &size), OCU_OK);
    EXPECT_EQ(type, 2);
}

} // namespace
} // namespace ocusnap::test
