#include "ConfigurationProblem.h"

#include <mutex>
#include <set>

namespace ocusnap::detail {
namespace {

constexpr const char* kGeneral =
    "The camera driver's configuration is not valid: check the OCUSNAP_ environment variables.";
constexpr size_t kShownValueLength = 40;

struct Problems {
    std::mutex mutex;
    std::string latest;
    // Every text handed out, so that a pointer returned once stays valid; a process meets few of them.
    std::set<std::string> texts;
};

Problems& State() {
    static Problems problems;
    return problems;
}

} // namespace

std::string DescribeBadSetting(std::string_view variable, std::string_view value, std::string_view takes) {
    std::string shown;
    for (const char c : value.substr(0, kShownValueLength)) {
        shown += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    if (value.size() > kShownValueLength) {
        shown += "...";
    }
    return std::string(variable) + " is \"" + shown + "\"; it takes " + std::string(takes);
}

OCUSTATUS ReportBadConfiguration(const std::string& problem) {
    try {
        Problems& state = State();
        const std::lock_guard lock(state.mutex);
        state.latest = problem;
    } catch (...) {
        // Without memory for the text the general one is said.
    }
    return OCU_ERR_BAD_CONFIGURATION;
}

const char* BadConfigurationText() {
    try {
        Problems& state = State();
        const std::lock_guard lock(state.mutex);
        if (state.latest.empty()) {
            return kGeneral;
        }
        const std::string text = "The camera driver's configuration is not valid: " + state.latest + ".";
        return state.texts.insert(text).first->c_str();
    } catch (...) {
        return kGeneral;
    }
}

} // namespace ocusnap::detail
