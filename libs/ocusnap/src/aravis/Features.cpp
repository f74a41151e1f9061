#include "Features.h"

#include "GObjectPtr.h"

#include <algorithm>
#include <cmath>

namespace ocusnap::detail::aravis {

double SnapToRange(double value, const NumberRange& range) {
    double v = std::clamp(value, range.min, std::max(range.min, range.max));
    if (range.increment > 0) {
        const double steps = std::round((v - range.min) / range.increment);
        v = range.min + steps * range.increment;
        if (v > range.max) {
            v -= range.increment;
        }
    }
    return v;
}

bool Features::Succeeded(const GError* error) {
    if (error == nullptr) {
        return true;
    }
    if (error->domain == ARV_DEVICE_ERROR &&
        (error->code == ARV_DEVICE_ERROR_TIMEOUT || error->code == ARV_DEVICE_ERROR_NOT_CONNECTED ||
         error->code == ARV_DEVICE_ERROR_TRANSFER_ERROR)) {
        m_connectionFailed = true;
    }
    return false;
}

bool Features::Has(const char* name) const {
    GErrorHolder error;
    return arv_camera_is_feature_available(m_camera, name, error.Out()) && !error;
}

bool Features::IsInteger(const char* name) const {
    ArvGcNode* node = arv_device_get_feature(arv_camera_get_device(m_camera), name);
    return node != nullptr && ARV_IS_GC_INTEGER(node) && !ARV_IS_GC_ENUMERATION(node);
}

std::optional<NumberRange> Features::Range(const char* name) {
    if (!Has(name)) {
        return std::nullopt;
    }
    GErrorHolder error;
    NumberRange range;
    if (IsInteger(name)) {
        gint64 min = 0;
        gint64 max = 0;
        arv_camera_get_integer_bounds(m_camera, name, &min, &max, error.Out());
        if (!Succeeded(error.Get())) {
            return std::nullopt;
        }
        const gint64 increment = arv_camera_get_integer_increment(m_camera, name, error.Out());
        range = {static_cast<double>(min), static_cast<double>(max),
                 error ? 1.0 : static_cast<double>(std::max<gint64>(increment, 1))};
        return range;
    }
    arv_camera_get_float_bounds(m_camera, name, &range.min, &range.max, error.Out());
    if (!Succeeded(error.Get())) {
        return std::nullopt;
    }
    // Aravis answers the smallest double for a float without an increment: no grid then.
    const double increment = arv_camera_get_float_increment(m_camera, name, error.Out());
    const double steps = (range.max - range.min) / increment;
    range.increment = (error || !(increment > 0) || !(steps < 1e9)) ? 0.0 : increment;
    return range;
}

std::string Features::Unit(const char* name) const {
    ArvGcNode* node = arv_device_get_feature(arv_camera_get_device(m_camera), name);
    if (node == nullptr || !ARV_IS_GC_FLOAT(node)) {
        return {};
    }
    const char* unit = arv_gc_float_get_unit(ARV_GC_FLOAT(node));
    return unit ? unit : "";
}

std::optional<double> Features::Number(const char* name) {
    GErrorHolder error;
    double value = 0;
    if (IsInteger(name)) {
        value = static_cast<double>(arv_camera_get_integer(m_camera, name, error.Out()));
    } else {
        value = arv_camera_get_float(m_camera, name, error.Out());
    }
    if (!Succeeded(error.Get())) {
        return std::nullopt;
    }
    return value;
}

bool Features::SetNumber(const char* name, double value) {
    const std::optional<NumberRange> range = Range(name);
    if (!range) {
        return false;
    }
    GErrorHolder error;
    const double v = SnapToRange(value, *range);
    if (IsInteger(name)) {
        arv_camera_set_integer(m_camera, name, static_cast<gint64>(std::llround(v)), error.Out());
    } else {
        arv_camera_set_float(m_camera, name, v, error.Out());
    }
    return Succeeded(error.Get());
}

std::vector<std::string> Features::Entries(const char* name) {
    std::vector<std::string> entries;
    if (!Has(name)) {
        return entries;
    }
    GErrorHolder error;
    guint count = 0;
    const char** names =
        arv_camera_dup_available_enumerations_as_strings(m_camera, name, &count, error.Out());
    if (Succeeded(error.Get()) && names != nullptr) {
        entries.assign(names, names + count);
    }
    g_free(names); // the array only: the strings belong to the camera
    return entries;
}

bool Features::HasEntry(const char* name, const char* entry) {
    const std::vector<std::string> entries = Entries(name);
    return std::find(entries.begin(), entries.end(), entry) != entries.end();
}

std::optional<std::string> Features::Enum(const char* name) {
    GErrorHolder error;
    const char* value = arv_camera_get_string(m_camera, name, error.Out());
    if (!Succeeded(error.Get()) || value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

bool Features::SetEnum(const char* name, const char* entry) {
    GErrorHolder error;
    arv_camera_set_string(m_camera, name, entry, error.Out());
    return Succeeded(error.Get());
}

bool Features::SetBool(const char* name, bool value) {
    GErrorHolder error;
    arv_camera_set_boolean(m_camera, name, value ? TRUE : FALSE, error.Out());
    return Succeeded(error.Get());
}

} // namespace ocusnap::detail::aravis
