// The C functions: check the handle, forward to the device, and keep exceptions inside the library.
#include "ConfigurationProblem.h"
#include "Device.h"
#include "Library.h"
#include "Registers.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <system_error>

using ocusnap::detail::Device;
using ocusnap::detail::Library;

namespace {

// Copies as much of `text` as fits, always terminated.
template <size_t N>
void CopyText(const std::string& text, char (&out)[N]) {
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

template <typename F>
OCUSTATUS Guarded(F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return OCU_ERR_RESOURCES;
    } catch (const std::system_error&) {
        return OCU_ERR_RESOURCES;
    } catch (...) {
        return OCU_ERR_INTERNAL;
    }
}

// What the last failed open on this thread found the camera lacking, for OcuGetErrorString.
struct OpenProblem {
    OCUSTATUS status = OCU_OK;
    std::string problem;
    std::string text; // the composed error text, kept for the pointer OcuGetErrorString returns
};
thread_local OpenProblem t_openProblem;

OCUSTATUS Begin(const ocusnap::detail::OpenRequest& request, OCUHANDLE* handle) {
    std::string problem;
    const OCUSTATUS status = Library::Instance().Begin(request, handle, problem);
    t_openProblem.status = status;
    t_openProblem.problem = std::move(problem);
    return status;
}

template <typename F>
OCUSTATUS WithDevice(OCUHANDLE handle, F&& body) noexcept {
    return Guarded([&]() -> OCUSTATUS {
        const std::shared_ptr<Device> device = Library::Instance().Find(handle);
        if (!device) {
            return OCU_ERR_INVALID_HANDLE;
        }
        return body(*device);
    });
}

} // namespace

extern "C" {

OCUSTATUS BeginOcuDevice(int32_t nDevice, OCUHANDLE* phDevice) {
    return Guarded([&] { return Begin({nDevice, std::nullopt}, phDevice); });
}

OCUSTATUS BeginOcuDeviceById(const char* szCameraId, OCUHANDLE* phDevice) {
    return Guarded([&] {
        ocusnap::detail::OpenRequest request;
        if (szCameraId != nullptr && *szCameraId != '\0') {
            request.id = szCameraId;
        }
        return Begin(request, phDevice);
    });
}

OCUSTATUS EndOcuDevice(OCUHANDLE hDevice) {
    return Guarded([&] { return Library::Instance().End(hDevice); });
}

OCUSTATUS OcuGetDeviceInfo(OCUHANDLE hDevice, int32_t nInfoCode, void* pBuffer, uint32_t* pnSize) {
    if (nInfoCode == OCU_INFO_CAMERA_ID) {
        // The library knows how it opened the camera; the camera itself does not.
        return Guarded([&]() -> OCUSTATUS {
            std::string id;
            if (!Library::Instance().CameraId(hDevice, id)) {
                return OCU_ERR_INVALID_HANDLE;
            }
            if (pnSize == nullptr) {
                return OCU_ERR_INVALID_ARGUMENT;
            }
            return ocusnap::detail::AnswerInfo(id.c_str(), static_cast<uint32_t>(id.size() + 1), pBuffer,
                                               pnSize);
        });
    }
    return WithDevice(hDevice, [&](Device& d) { return d.GetDeviceInfo(nInfoCode, pBuffer, pnSize); });
}

OCUSTATUS OcuSetResolution(OCUHANDLE hDevice, int32_t nMode) {
    return WithDevice(hDevice, [&](Device& d) { return d.SetResolution(nMode); });
}

OCUSTATUS OcuSetSnapMode(OCUHANDLE hDevice, int32_t nMode) {
    return WithDevice(hDevice, [&](Device& d) { return d.SetSnapMode(nMode); });
}

OCUSTATUS OcuSetSnapSpeed(OCUHANDLE hDevice, int32_t nSpeed) {
    return WithDevice(hDevice, [&](Device& d) { return d.SetSnapSpeed(nSpeed); });
}

OCUSTATUS OcuSetBlanking(OCUHANDLE hDevice, int32_t nHBlanking, int32_t nVBlanking) {
    return WithDevice(hDevice, [&](Device& d) { return d.SetBlanking(nHBlanking, nVBlanking); });
}

OCUSTATUS OcuSetOutputWindow(OCUHANDLE hDevice, int32_t nLeft, int32_t nTop, int32_t nWidth,
                             int32_t nHeight) {
    return WithDevice(hDevice, [&](Device& d) { return d.SetOutputWindow(nLeft, nTop, nWidth, nHeight); });
}

OCUSTATUS OcuAGCControl(OCUHANDLE hDevice, uint8_t nChannel, int32_t nGain) {
    return WithDevice(hDevice, [&](Device& d) { return d.SetGain(nChannel, nGain); });
}

OCUSTATUS OcuADCControl(OCUHANDLE hDevice, int32_t nMode, int32_t nLevel) {
    return WithDevice(hDevice, [&](Device& d) { return d.SetAdc(nMode, nLevel); });
}

OCUSTATUS OcuAECControl(OCUHANDLE hDevice, int32_t nMode, int32_t nValue) {
    return WithDevice(hDevice, [&](Device& d) { return d.SetExposure(nMode, nValue); });
}

OCUSTATUS OcuOpenSnap(OCUHANDLE hDevice, SnapCallback pfnCallback, void* pContext) {
    return WithDevice(hDevice, [&](Device& d) { return d.OpenSnap(pfnCallback, pContext); });
}

OCUSTATUS OcuStartSnap(OCUHANDLE hDevice, uint8_t* const* ppBuffers, int32_t nCount) {
    return WithDevice(hDevice, [&](Device& d) { return d.StartSnap(ppBuffers, nCount); });
}

OCUSTATUS OcuStopSnap(OCUHANDLE hDevice) {
    return WithDevice(hDevice, [&](Device& d) { return d.StopSnap(); });
}

OCUSTATUS OcuCloseSnap(OCUHANDLE hDevice) {
    return WithDevice(hDevice, [&](Device& d) { return d.CloseSnap(); });
}

OCUSTATUS OcuSnapShot(OCUHANDLE hDevice, uint8_t* const* ppBuffers, int32_t nCount) {
    return WithDevice(hDevice, [&](Device& d) { return d.SnapShot(ppBuffers, nCount); });
}

OCUSTATUS OcuListCameras(OcuCameraEntry* pEntries, uint32_t* pnCount) {
    return Guarded([&]() -> OCUSTATUS {
        if (pnCount == nullptr) {
            return OCU_ERR_INVALID_ARGUMENT;
        }
        std::vector<ocusnap::detail::CameraListing> cameras;
        if (const OCUSTATUS s = ocusnap::detail::ListConfiguredCameras(cameras); s != OCU_OK) {
            return s;
        }
        const auto found = static_cast<uint32_t>(cameras.size());
        if (pEntries == nullptr) {
            *pnCount = found;
            return OCU_OK;
        }
        const uint32_t written = std::min(*pnCount, found);
        for (uint32_t i = 0; i < written; ++i) {
            OcuCameraEntry& e = pEntries[i];
            CopyText(cameras[i].id, e.szId);
            CopyText(cameras[i].vendor, e.szVendor);
            CopyText(cameras[i].model, e.szModel);
        }
        *pnCount = found;
        return written == found ? OCU_OK : OCU_ERR_BUFFER_TOO_SMALL;
    });
}

OCUSTATUS OcuListAllCameras(OcuCameraInfo* pCameras, uint32_t* pnCount) {
    return Guarded([&]() -> OCUSTATUS {
        if (pnCount == nullptr) {
            return OCU_ERR_INVALID_ARGUMENT;
        }
        std::vector<ocusnap::detail::CameraListing> cameras;
        if (const OCUSTATUS s = ocusnap::detail::ListAllCameras(cameras); s != OCU_OK) {
            return s;
        }
        const auto found = static_cast<uint32_t>(cameras.size());
        if (pCameras == nullptr) {
            *pnCount = found;
            return OCU_OK;
        }
        const uint32_t written = std::min(*pnCount, found);
        for (uint32_t i = 0; i < written; ++i) {
            OcuCameraInfo& c = pCameras[i];
            CopyText(cameras[i].id, c.szCameraId);
            CopyText(cameras[i].vendor, c.szVendor);
            CopyText(cameras[i].model, c.szModel);
            CopyText(cameras[i].serial, c.szSerial);
            CopyText(cameras[i].interfaceName, c.szInterface);
        }
        *pnCount = found;
        return written == found ? OCU_OK : OCU_ERR_BUFFER_TOO_SMALL;
    });
}

const char* OcuGetModelName(int32_t nDeviceType) {
    static constexpr const char* kNames[] = {"VelA", "VelB", "VelC"};
    return nDeviceType >= 0 && nDeviceType < 3 ? kNames[nDeviceType] : nullptr;
}

const char* OcuGetErrorString(OCUSTATUS nStatus) {
    if (nStatus == OCU_ERR_DEVICE_OPEN && t_openProblem.status == nStatus && !t_openProblem.problem.empty()) {
        try {
            t_openProblem.text =
                "The camera was found but cannot serve this program: " + t_openProblem.problem + ".";
            return t_openProblem.text.c_str();
        } catch (...) {
            // Out of memory: the general text below.
        }
    }
    switch (nStatus) {
    case OCU_OK:
        return "The operation succeeded.";
    case OCU_ERR_NO_CAMERA:
        return "No camera was found. Check that the camera is connected and switched on.";
    case OCU_ERR_DEVICE_OPEN:
        return "The camera was found but could not be opened. It may be in use by another program.";
    case OCU_ERR_INVALID_HANDLE:
        return "The camera handle is not valid: the camera was never opened or has been closed.";
    case OCU_ERR_INVALID_ARGUMENT:
        return "A value passed to the camera driver is outside its allowed range.";
    case OCU_ERR_BUFFER_TOO_SMALL:
        return "The buffer is too small for the requested camera information.";
    case OCU_ERR_UNKNOWN_INFO:
        return "The camera does not know the requested kind of information.";
    case OCU_ERR_NOT_SUPPORTED:
        return "This camera model does not support the requested feature.";
    case OCU_ERR_SNAP_NOT_OPEN:
        return "No capture is open on the camera.";
    case OCU_ERR_SNAP_ALREADY_OPEN:
        return "A capture is already open on the camera.";
    case OCU_ERR_SNAP_RUNNING:
        return "This is not possible while the camera is delivering frames; stop the capture first.";
    case OCU_ERR_CAPTURE_OPEN:
        return "The capture could not be opened on the camera.";
    case OCU_ERR_CAPTURE_START:
        return "The camera could not start delivering frames.";
    case OCU_ERR_SNAPSHOT:
        return "The camera could not take a picture.";
    case OCU_ERR_TIMEOUT:
        return "The camera delivered no frame in time.";
    case OCU_ERR_BAD_CONFIGURATION:
        return ocusnap::detail::BadConfigurationText();
    case OCU_ERR_RESOURCES:
        return "The camera driver ran out of memory or threads.";
    case OCU_ERR_INTERNAL:
        return "The camera driver met an internal error.";
    case OCU_ERR_CAMERA_LOST:
        return "The connection to the camera was lost: it stopped answering, was unplugged or was switched "
               "off. Reconnect it and open it again.";
    case OCU_ERR_BACKEND_MISSING:
        return "This build of the camera driver cannot reach real cameras (it was built without Aravis). "
               "Use OCUSNAP_CAMERA=sim, or rebuild with libaravis-dev installed.";
    default:
        return "Unknown camera driver error.";
    }
}

} // extern "C"
