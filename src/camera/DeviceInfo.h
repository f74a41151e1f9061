// The driver's device-information queries, with its size protocol handled.
#pragma once

#include "OcuSnap.h"
#include "camera/Exposure.h"

#include <cstdint>
#include <vector>

namespace ocu {

// False when the driver does not tell the type.
bool QueryDeviceType(OCUHANDLE device, int32_t& type);
// The resolution table, entry k for mode k. False when the driver gives no table, or one whose first
// (largest) entry is not a real image, since the frame buffers are sized from that entry; an entry larger
// than the first is cut to it.
bool QueryResolutionTable(OCUHANDLE device, std::vector<ResolutionEntry>& table);
// False when the device does not report its blanking limits.
bool QueryBlankingLimits(OCUHANDLE device, BlankingLimits& limits);
// The blanking limits in force: the device's own when its type reports them (reportsLimits) and it
// answers, else the default limits.
BlankingRange QueryBlankingRange(OCUHANDLE device, bool reportsLimits);

} // namespace ocu
