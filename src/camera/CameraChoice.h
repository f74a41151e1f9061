// Which camera the viewer opens: the one the command line names, the one the driver's environment
// names, or the one the user chose last (Options > Camera...), kept in a section of the settings file of
// its own; and the cameras there are to choose from.
#pragma once

#include "OcuSnap.h"
#include "frame/IniFile.h"

#include <string>
#include <vector>

namespace ocu {

// The settings file's section and key for the chosen camera, beside "Video Parameter".
inline constexpr char kCameraSection[] = "Camera";
inline constexpr char kCameraKey[] = "Id";

// The camera id stored in the settings file, or empty.
std::string ReadCameraChoice(const IniFile& ini);
// Stores the id; an empty id leaves the file as it is.
void WriteCameraChoice(IniFile& ini, const std::string& id);

// The camera to open at start-up, as a camera id (empty: the driver's own choice, camera 1 of the backend
// OCUSNAP_CAMERA selects): the command line's first, then the environment's (which the driver reads
// itself), then the one chosen last.
std::string StartCameraId(const std::string& commandLine, bool environmentNamesOne,
                          const std::string& stored);

// Opens the camera with that id, or the driver's own choice for an empty id.
OCUSTATUS BeginCamera(const std::string& id, OCUHANDLE* handle);
// The id of an open camera as the chooser lists it, however it was opened ("aravis" or the driver's own
// choice name no camera of the list); empty when the driver cannot tell.
std::string OpenCameraId(OCUHANDLE handle);

struct CameraEntry {
    std::string id;
    std::string vendor;
    std::string model;
    std::string serial;
    std::string interfaceName;
};
// Every camera the driver can open, the simulated one first; false with the driver's status when it
// cannot list them.
bool ListCameras(std::vector<CameraEntry>& cameras, OCUSTATUS& status);
// A camera as the chooser lists it: "Simulated camera" or vendor, model, serial number and interface,
// with the id that --camera takes.
std::string DescribeCamera(const CameraEntry& camera);

} // namespace ocu
