// The camera ids the driver opens (BeginOcuDeviceById, and what OCUSNAP_CAMERA holds): checked where a user
// gives one, since the driver can only answer an id of another form with "a value outside its range".
#pragma once

#include <string_view>

namespace ocu {

// "sim", "none", "aravis" or "aravis:ID" with an ID of at least one character.
bool IsCameraId(std::string_view id);

// What an id takes, for the message that names a wrong one.
inline constexpr char kCameraIdForms[] = "sim, none, aravis or aravis:ID";

} // namespace ocu
