// The backend that a camera id or OCUSNAP_CAMERA selects: sim, none, aravis or aravis:ID.
#include "CameraDevice.h"
#include "ConfigurationProblem.h"
#include "Library.h"
#include "sim/SimCamera.h"

#ifdef OCUSNAP_HAVE_ARAVIS
#include "aravis/AravisCamera.h"
#include "aravis/System.h"
#endif

#include <cstdlib>
#include <string_view>

namespace ocusnap::detail {

namespace {

constexpr std::string_view kAravis = "aravis";

OCUSTATUS ReadSimConfig(sim::SimConfig& config) {
    std::string problem;
    const OCUSTATUS status =
        sim::ParseSimConfig([](const char* name) { return std::getenv(name); }, config, problem);
    return status == OCU_ERR_BAD_CONFIGURATION ? ReportBadConfiguration(problem) : status;
}

OpenResult OpenSimulated(int32_t deviceNumber) {
    sim::SimConfig config;
    if (const OCUSTATUS s = ReadSimConfig(config); s != OCU_OK) {
        return {s, nullptr, {}, {}};
    }
    if (deviceNumber != OCU_FIRST_DEVICE) {
        return {OCU_ERR_NO_CAMERA, nullptr, {}, {}}; // the simulation has one camera
    }
    if (config.faults.begin) {
        return {OCU_ERR_DEVICE_OPEN, nullptr, {}, {}};
    }
    auto device = std::make_shared<CameraDevice>(std::make_shared<sim::SimCamera>(config));
    return {OCU_OK, std::move(device), "sim", {}};
}

// "aravis" alone opens the cameras in the order found (device 1 the first); "aravis:ID" the one named.
OpenResult OpenAravis([[maybe_unused]] int32_t deviceNumber, [[maybe_unused]] std::string_view id) {
#ifdef OCUSNAP_HAVE_ARAVIS
    if (deviceNumber < OCU_FIRST_DEVICE || (!id.empty() && deviceNumber != OCU_FIRST_DEVICE)) {
        return {OCU_ERR_NO_CAMERA, nullptr, {}, {}};
    }
    std::shared_ptr<aravis::AravisCamera> camera;
    std::string opened;
    std::string problem;
    const auto index = static_cast<unsigned>(deviceNumber - OCU_FIRST_DEVICE);
    if (const OCUSTATUS s = aravis::AravisCamera::Open(std::string(id), index, camera, opened, problem);
        s != OCU_OK) {
        return {s, nullptr, {}, problem};
    }
    return {OCU_OK, std::make_shared<CameraDevice>(std::move(camera)), "aravis:" + opened, {}};
#else
    return {OCU_ERR_BACKEND_MISSING, nullptr, {}, {}};
#endif
}

std::string_view SelectedBackend() {
    const char* selected = std::getenv("OCUSNAP_CAMERA");
    return (selected && *selected) ? selected : "sim";
}

// The camera id of "aravis:ID", empty for "aravis"; false for any other backend.
bool ParseAravis(std::string_view backend, std::string_view& id) {
    if (backend == kAravis) {
        id = {};
        return true;
    }
    if (backend.size() > kAravis.size() + 1 && backend.substr(0, kAravis.size()) == kAravis &&
        backend[kAravis.size()] == ':') {
        id = backend.substr(kAravis.size() + 1);
        return true;
    }
    return false;
}

OCUSTATUS BadBackend(std::string_view backend) {
    return ReportBadConfiguration(
        DescribeBadSetting("OCUSNAP_CAMERA", backend, "sim, none, aravis or aravis:ID"));
}

// The simulated camera as the lists show it: its device type comes from its configuration.
OCUSTATUS ListSimCamera(std::vector<CameraListing>& cameras) {
    sim::SimConfig config;
    if (const OCUSTATUS s = ReadSimConfig(config); s != OCU_OK) {
        return s;
    }
    cameras.push_back({"sim", "OcuViewer",
                       "simulated camera, device type " + std::to_string(config.deviceType), "",
                       "Simulated"});
    return OCU_OK;
}

} // namespace

OpenResult OpenBackend(const OpenRequest& request) {
    const std::string_view backend = request.id ? std::string_view(*request.id) : SelectedBackend();
    // A malformed id is the caller's argument; a malformed OCUSNAP_CAMERA the configuration.
    const int32_t deviceNumber = request.id ? OCU_FIRST_DEVICE : request.deviceNumber;
    std::string_view id;
    if (backend == "sim") {
        return OpenSimulated(deviceNumber);
    }
    if (backend == "none") {
        return {OCU_ERR_NO_CAMERA, nullptr, {}, {}};
    }
    if (ParseAravis(backend, id)) {
        return OpenAravis(deviceNumber, id);
    }
    return {request.id ? OCU_ERR_INVALID_ARGUMENT : BadBackend(backend), nullptr, {}, {}};
}

OCUSTATUS ListConfiguredCameras(std::vector<CameraListing>& cameras) {
    const std::string_view backend = SelectedBackend();
    std::string_view id;
    if (backend == "sim") {
        return ListSimCamera(cameras);
    }
    if (backend == "none") {
        return OCU_OK;
    }
    if (ParseAravis(backend, id)) {
#ifdef OCUSNAP_HAVE_ARAVIS
        return aravis::ListCameras(cameras);
#else
        return OCU_ERR_BACKEND_MISSING;
#endif
    }
    return BadBackend(backend);
}

OCUSTATUS ListAllCameras(std::vector<CameraListing>& cameras) {
    if (const OCUSTATUS s = ListSimCamera(cameras); s != OCU_OK) {
        return s;
    }
#ifdef OCUSNAP_HAVE_ARAVIS
    std::vector<CameraListing> genicam;
    if (const OCUSTATUS s = aravis::ListCameras(genicam); s != OCU_OK) {
        return s;
    }
    for (CameraListing& c : genicam) {
        c.id = std::string(kAravis) + ":" + c.id;
        cameras.push_back(std::move(c));
    }
#endif
    return OCU_OK;
}

} // namespace ocusnap::detail
