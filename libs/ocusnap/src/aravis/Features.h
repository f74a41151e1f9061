// GenICam features of one camera by name, whatever their node type, with the camera's own limits
// respected: Aravis writes what it is given, and a real camera refuses a value outside its range.
//
// Not thread-safe: the camera's owner serialises every use.
#pragma once

#include <arv.h>
#include <optional>
#include <string>
#include <vector>

namespace ocusnap::detail::aravis {

struct NumberRange {
    double min = 0;
    double max = 0;
    double increment = 0; // 0: any value between min and max
};

class Features {
public:
    explicit Features(ArvCamera* camera) : m_camera(camera) {}

    bool Has(const char* name) const;
    bool IsInteger(const char* name) const;
    std::optional<NumberRange> Range(const char* name);
    std::optional<double> Number(const char* name);
    // The unit a float feature names ("dB", "us"), empty when it names none.
    std::string Unit(const char* name) const;
    // Clamps to the range and, for integers, rounds to the nearest valid step.
    bool SetNumber(const char* name, double value);

    std::vector<std::string> Entries(const char* name);
    bool HasEntry(const char* name, const char* entry);
    std::optional<std::string> Enum(const char* name);
    bool SetEnum(const char* name, const char* entry);
    bool SetBool(const char* name, bool value);

    // Whether a call failed because the camera stopped answering (not because it refused a value).
    bool ConnectionFailed() const { return m_connectionFailed; }
    // Runs an ArvCamera call and notes a failure like the ones above.
    bool Succeeded(const GError* error);

    ArvCamera* Camera() const { return m_camera; }

private:
    ArvCamera* m_camera;
    bool m_connectionFailed = false;
};

// A value on the grid min + k * increment nearest to `value`, within the range.
double SnapToRange(double value, const NumberRange& range);

} // namespace ocusnap::detail::aravis
