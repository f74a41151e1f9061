// Process-wide state of the driver: the open devices behind their handles, and the backend in use.
#pragma once

#include "Device.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ocusnap::detail {

struct OpenResult {
    OCUSTATUS status = OCU_OK;
    std::shared_ptr<Device> device;
    // The id that opens this camera by BeginOcuDeviceById; it identifies the physical camera, so that it
    // is opened only once at a time.
    std::string camera;
    std::string problem; // on failure, what the camera lacks, for the error text
};

// What BeginOcuDevice or BeginOcuDeviceById asked for: camera `deviceNumber` of the configured backend,
// or, when `id` is set, the camera of that id.
struct OpenRequest {
    int32_t deviceNumber = OCU_FIRST_DEVICE;
    std::optional<std::string> id;
};

// Opens the camera asked for. A factory replaces the backends (tests).
using DeviceFactory = std::function<OpenResult(const OpenRequest& request)>;

class Library {
public:
    static Library& Instance();

    // `problem` receives what a camera that could not be opened lacks (empty when nothing is known).
    OCUSTATUS Begin(const OpenRequest& request, OCUHANDLE* handle, std::string& problem);
    OCUSTATUS End(OCUHANDLE handle);
    // The device behind a handle, or null for a null, stale or ended handle. The caller's reference
    // keeps the device alive for the duration of its call even if another thread ends it.
    std::shared_ptr<Device> Find(OCUHANDLE handle) const;
    // The id of the camera behind a handle (OpenResult::camera); false for a handle that Find refuses.
    bool CameraId(OCUHANDLE handle, std::string& id) const;

    // Installs a factory in place of the configured backend; false if one is installed already.
    bool InstallFactory(DeviceFactory factory);
    void RemoveFactory();

    // Ends every open device (process exit).
    void Shutdown();
    // Ends the open devices that `which` selects, as EndOcuDevice would.
    void EndDevices(const std::function<bool(const Device&)>& which);

private:
    Library() = default;

    struct Slot {
        uint32_t generation = 1;
        std::shared_ptr<Device> device;
        std::string camera;
    };
    OCUHANDLE HandleOf(size_t slot) const;
    // The slot a handle names, or null for a null, forged or stale one; under m_mutex.
    const Slot* SlotOf(OCUHANDLE handle) const;

    mutable std::mutex m_mutex;
    std::vector<Slot> m_slots;
    DeviceFactory m_factory;
};

// Opens the camera asked for: by its id, or of the backend that the environment selects (OCUSNAP_CAMERA).
OpenResult OpenBackend(const OpenRequest& request);

struct CameraListing {
    std::string id;
    std::string vendor;
    std::string model;
    std::string serial;
    std::string interfaceName;
};
// The cameras that the backend the environment selects can open.
OCUSTATUS ListConfiguredCameras(std::vector<CameraListing>& cameras);
// Every camera of every backend of this build, each with the camera id BeginOcuDeviceById takes.
OCUSTATUS ListAllCameras(std::vector<CameraListing>& cameras);

} // namespace ocusnap::detail
