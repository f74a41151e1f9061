// What was wrong with the driver's environment settings, for the text of OCU_ERR_BAD_CONFIGURATION: a user
// who mistypes a value is told which variable, what it held and what it takes.
#pragma once

#include "OcuSnap.h"

#include <string>
#include <string_view>

namespace ocusnap::detail {

// "NAME is "value"; it takes ...": the variable at fault, its value (shortened and made printable) and the
// values it takes.
std::string DescribeBadSetting(std::string_view variable, std::string_view value, std::string_view takes);

// Keeps `problem` as the latest one found (by any thread) and returns OCU_ERR_BAD_CONFIGURATION.
OCUSTATUS ReportBadConfiguration(const std::string& problem);

// The general text of OCU_ERR_BAD_CONFIGURATION followed by the latest problem found. The text stays
// valid for the life of the process, as the other error texts do.
const char* BadConfigurationText();

} // namespace ocusnap::detail
