#include "camera/CameraChoice.h"

#include "camera/CameraId.h"

#include <cstring>

namespace ocu {

std::string ReadCameraChoice(const IniFile& ini) {
    std::string id = ini.GetString(kCameraSection, kCameraKey).value_or(std::string());
    // An id edited into no camera's is no choice: the start-up goes on as without one.
    return IsCameraId(id) ? id : std::string();
}

void WriteCameraChoice(IniFile& ini, const std::string& id) {
    if (!id.empty())
        ini.SetString(kCameraSection, kCameraKey, id);
}

std::string StartCameraId(const std::string& commandLine, bool environmentNamesOne,
                          const std::string& stored) {
    if (!commandLine.empty())
        return commandLine;
    // The driver reads OCUSNAP_CAMERA itself when it is asked for its own choice.
    return environmentNamesOne ? std::string() : stored;
}

OCUSTATUS BeginCamera(const std::string& id, OCUHANDLE* handle) {
    return id.empty() ? BeginOcuDevice(OCU_FIRST_DEVICE, handle) : BeginOcuDeviceById(id.c_str(), handle);
}

std::string OpenCameraId(OCUHANDLE handle) {
    uint32_t size = 0;
    if (OcuGetDeviceInfo(handle, OCU_INFO_CAMERA_ID, nullptr, &size) != OCU_OK || size == 0)
        return {};
    std::string id(size, '\0');
    if (OcuGetDeviceInfo(handle, OCU_INFO_CAMERA_ID, id.data(), &size) != OCU_OK)
        return {};
    id.resize(std::strlen(id.c_str()));
    return id;
}

bool ListCameras(std::vector<CameraEntry>& cameras, OCUSTATUS& status) {
    cameras.clear();
    // Every call searches the network and the USB bus (a second on GigE Vision), so the first has room for
    // more cameras than a computer usually has; a list too short for those found is asked for again.
    std::vector<OcuCameraInfo> found(16);
    auto count = static_cast<uint32_t>(found.size());
    status = OcuListAllCameras(found.data(), &count);
    for (int attempt = 0; status == OCU_ERR_BUFFER_TOO_SMALL && attempt < 3; ++attempt) {
        found.resize(count);
        status = OcuListAllCameras(found.data(), &count);
    }
    if (status != OCU_OK)
        return false;
    found.resize(count);
    for (const OcuCameraInfo& c : found)
        cameras.push_back({c.szCameraId, c.szVendor, c.szModel, c.szSerial, c.szInterface});
    return true;
}

std::string DescribeCamera(const CameraEntry& camera) {
    if (camera.interfaceName == "Simulated")
        return "Simulated camera (" + camera.id + ")";
    std::string text = camera.vendor + " " + camera.model;
    if (!camera.serial.empty())
        text += ", serial " + camera.serial;
    if (!camera.interfaceName.empty())
        text += ", " + camera.interfaceName;
    return text + " (" + camera.id + ")";
}

} // namespace ocu
