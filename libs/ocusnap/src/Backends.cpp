// The backend that OCUSNAP_CAMERA selects. Real-camera backends are added here as further names.
#include "CameraDevice.h"
#include "Library.h"
#include "sim/SimCamera.h"

#include <cstdlib>
#include <string_view>

namespace ocusnap::detail {

namespace {

OpenResult OpenSimulated(int32_t deviceNumber) {
    sim::SimConfig config;
    std::string problem;
    if (const OCUSTATUS s =
            sim::ParseSimConfig([](const char* name) { return std::getenv(name); }, config, problem);
        s != OCU_OK) {
        return {s, nullptr, {}};
    }
    if (deviceNumber != OCU_FIRST_DEVICE) {
        return {OCU_ERR_NO_CAMERA, nullptr, {}}; // the simulation has one camera
    }
    if (config.faults.begin) {
        return {OCU_ERR_DEVICE_OPEN, nullptr, {}};
    }
    auto device = std::make_shared<CameraDevice>(std::make_shared<sim::SimCamera>(config));
    return {OCU_OK, std::move(device), "sim:1"};
}

} // namespace

OpenResult OpenConfiguredBackend(int32_t deviceNumber) {
    const char* selected = std::getenv("OCUSNAP_CAMERA");
    const std::string_view backend = (selected && *selected) ? selected : "sim";
    if (backend == "sim") {
        return OpenSimulated(deviceNumber);
    }
    if (backend == "none") {
        return {OCU_ERR_NO_CAMERA, nullptr, {}};
    }
    return {OCU_ERR_BAD_CONFIGURATION, nullptr, {}};
}

} // namespace ocusnap::detail
