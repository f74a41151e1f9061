#include "System.h"

#include <arv.h>
#include <cstdlib>
#include <string_view>

namespace ocusnap::detail::aravis {

std::mutex& SystemMutex() {
    static std::mutex mutex;
    return mutex;
}

OCUSTATUS RefreshCameraList() {
    const char* fake = std::getenv("OCUSNAP_ARAVIS_FAKE");
    const std::string_view value = fake ? fake : "";
    if (value == "1") {
        arv_enable_interface("Fake");
    } else if (value.empty() || value == "0") {
        arv_disable_interface("Fake");
    } else {
        return OCU_ERR_BAD_CONFIGURATION;
    }
    arv_update_device_list();
    return OCU_OK;
}

OCUSTATUS ListCameras(std::vector<CameraListing>& cameras) {
    std::lock_guard lock(SystemMutex());
    if (const OCUSTATUS s = RefreshCameraList(); s != OCU_OK) {
        return s;
    }
    auto text = [](const char* s) { return std::string(s ? s : ""); };
    for (unsigned i = 0; i < arv_get_n_devices(); ++i) {
        cameras.push_back(
            {text(arv_get_device_id(i)), text(arv_get_device_vendor(i)), text(arv_get_device_model(i))});
    }
    return OCU_OK;
}

} // namespace ocusnap::detail::aravis
