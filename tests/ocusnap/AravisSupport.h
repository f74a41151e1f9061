// The Aravis backend's tests run against Aravis's in-process fake camera ("Fake_1", a 2048 x 2048
// sensor with Bayer formats): what the driver sent is read back from the camera's own features.
#pragma once

#include "CameraDevice.h"
#include "Library.h"
#include "TestSupport.h"
#include "aravis/AravisCamera.h"
#include "aravis/Features.h"

#include <string>

namespace ocusnap::test {

// Tests on the fake camera, the backend that the environment selects; no search for real cameras (it
// would send discovery packets to the network).
class FakeCameraTest : public ::testing::Test {
protected:
    ScopedEnv env{{"OCUSNAP_CAMERA", "aravis"}, {"OCUSNAP_ARAVIS_FAKE", "only"}};
};

inline detail::aravis::AravisCamera& AravisOf(OCUHANDLE handle) {
    const std::shared_ptr<detail::Device> device = detail::Library::Instance().Find(handle);
    auto* camera = dynamic_cast<detail::CameraDevice*>(device.get());
    return dynamic_cast<detail::aravis::AravisCamera&>(camera->Model());
}

// A feature as the camera holds it now (-1 when it cannot be read).
inline double CameraNumber(OCUHANDLE handle, const char* name) {
    double value = -1;
    AravisOf(handle).WithCamera([&](ArvCamera* camera) {
        detail::aravis::Features features(camera);
        value = features.Number(name).value_or(-1);
    });
    return value;
}

inline std::string CameraEnum(OCUHANDLE handle, const char* name) {
    std::string value;
    AravisOf(handle).WithCamera([&](ArvCamera* camera) {
        detail::aravis::Features features(camera);
        value = features.Enum(name).value_or("");
    });
    return value;
}

} // namespace ocusnap::test
