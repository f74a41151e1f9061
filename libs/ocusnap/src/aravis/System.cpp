#include "System.h"

#include "../ConfigurationProblem.h"

#include <arv.h>
#include <cstdlib>
#include <string_view>

namespace ocusnap::detail::aravis {

std::mutex& SystemMutex() {
    static std::mutex mutex;
    return mutex;
}

OCUSTATUS SelectInterfaces() {
    const char* fake = std::getenv("OCUSNAP_ARAVIS_FAKE");
    const std::string_view value = fake ? fake : "";
    bool withFake = false;
    bool withReal = true;
    if (value == "1") {
        withFake = true;
    } else if (value == "only") {
        // No search on the network or the USB bus: tests, and machines without cameras.
        withFake = true;
        withReal = false;
    } else if (!value.empty() && value != "0") {
        return ReportBadConfiguration(DescribeBadSetting("OCUSNAP_ARAVIS_FAKE", value, "0, 1 or only"));
    }
    (withFake ? arv_enable_interface : arv_disable_interface)("Fake");
    for (const char* real : {"GigEVision", "USB3Vision"}) {
        (withReal ? arv_enable_interface : arv_disable_interface)(real);
    }
    return OCU_OK;
}

OCUSTATUS RefreshCameraList() {
    if (const OCUSTATUS s = SelectInterfaces(); s != OCU_OK) {
        return s;
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
        cameras.push_back({text(arv_get_device_id(i)), text(arv_get_device_vendor(i)),
                           text(arv_get_device_model(i)), text(arv_get_device_serial_nbr(i)),
                           text(arv_get_device_protocol(i))});
    }
    return OCU_OK;
}

} // namespace ocusnap::detail::aravis
