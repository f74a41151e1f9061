#include "camera/DeviceInfo.h"

#include <algorithm>

namespace ocu {
namespace {

// A table larger than this is not one a camera gives; refusing it keeps a faulty answer from
// allocating without bound.
constexpr uint32_t kMaxResolutionTableBytes = 64 * sizeof(ResolutionEntry);

} // namespace

bool QueryDeviceType(OCUHANDLE device, int32_t& type) {
    int32_t value = 0;
    uint32_t size = sizeof value;
    if (OcuGetDeviceInfo(device, OCU_INFO_DEVICE_TYPE, &value, &size) != OCU_OK)
        return false;
    type = value;
    return true;
}

bool QueryResolutionTable(OCUHANDLE device, std::vector<ResolutionEntry>& table) {
    uint32_t size = 0;
    if (OcuGetDeviceInfo(device, OCU_INFO_RESOLUTIONS, nullptr, &size) != OCU_OK)
        return false;
    const uint32_t count = std::min(size, kMaxResolutionTableBytes) / sizeof(ResolutionEntry);
    if (count == 0)
        return false;
    std::vector<ResolutionEntry> entries(count, ResolutionEntry{0, 0});
    size = count * sizeof(ResolutionEntry);
    if (OcuGetDeviceInfo(device, OCU_INFO_RESOLUTIONS, entries.data(), &size) != OCU_OK)
        return false;
    if (entries[0].nWidth <= 0 || entries[0].nHeight <= 0)
        return false;
    // The frame buffers hold one image of entry 0. A mode said to be larger is cut to that size, so that
    // no output window larger than the buffers is ever asked for.
    for (ResolutionEntry& entry : entries) {
        entry.nWidth = std::min(entry.nWidth, entries[0].nWidth);
        entry.nHeight = std::min(entry.nHeight, entries[0].nHeight);
    }
    table = std::move(entries);
    return true;
}

bool QueryBlankingLimits(OCUHANDLE device, BlankingLimits& limits) {
    uint32_t size = 0;
    if (OcuGetDeviceInfo(device, OCU_INFO_BLANKING_LIMITS, nullptr, &size) != OCU_OK)
        return false;
    BlankingLimits value{};
    size = sizeof value;
    if (OcuGetDeviceInfo(device, OCU_INFO_BLANKING_LIMITS, &value, &size) != OCU_OK)
        return false;
    limits = value;
    return true;
}

BlankingRange QueryBlankingRange(OCUHANDLE device, bool reportsLimits) {
    BlankingLimits limits{};
    if (!reportsLimits || device == nullptr || !QueryBlankingLimits(device, limits))
        return kDefaultBlankingRange;
    return BlankingRange{limits.nHMin, limits.nVMin, limits.nHMax, limits.nVMax};
}

} // namespace ocu
