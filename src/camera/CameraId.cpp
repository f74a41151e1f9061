#include "camera/CameraId.h"

namespace ocu {

bool IsCameraId(std::string_view id) {
    constexpr std::string_view kAravis = "aravis:";
    return id == "sim" || id == "none" || id == "aravis" ||
           (id.starts_with(kAravis) && id.size() > kAravis.size());
}

} // namespace ocu
