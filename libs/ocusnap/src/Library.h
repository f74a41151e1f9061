// Process-wide state of the driver: the open devices behind their handles, and the backend in use.
#pragma once

#include "Device.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ocusnap::detail {

struct OpenResult {
    OCUSTATUS status = OCU_OK;
    std::shared_ptr<Device> device;
    std::string camera; // identifies the physical camera, so that it is opened only once at a time
};

// Opens camera `deviceNumber`. A factory replaces the backend that OCUSNAP_CAMERA selects (tests).
using DeviceFactory = std::function<OpenResult(int32_t deviceNumber)>;

class Library {
public:
    static Library& Instance();

    OCUSTATUS Begin(int32_t deviceNumber, OCUHANDLE* handle);
    OCUSTATUS End(OCUHANDLE handle);
    // The device behind a handle, or null for a null, stale or ended handle. The caller's reference
    // keeps the device alive for the duration of its call even if another thread ends it.
    std::shared_ptr<Device> Find(OCUHANDLE handle) const;

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

    mutable std::mutex m_mutex;
    std::vector<Slot> m_slots;
    DeviceFactory m_factory;
};

// Opens a camera of the backend that the environment selects (OCUSNAP_CAMERA).
OpenResult OpenConfiguredBackend(int32_t deviceNumber);

struct CameraListing {
    std::string id;
    std::string vendor;
    std::string model;
};
// The cameras that the backend the environment selects can open.
OCUSTATUS ListConfiguredCameras(std::vector<CameraListing>& cameras);

} // namespace ocusnap::detail
