// The dialogs' data exchange with their edits, as the framework does it: values written with the display
// rules of NumberText.h, read back with its parsing rules. A bad field shows the framework's message
// (caption the application's title, warning icon), gets the focus with its text selected, and stops the
// exchange: the caller reads no further field.
#pragma once

#include <optional>
#include <utility>

class QLineEdit;

namespace ocu {

// Reads an integer. Not an integer: "Please enter an integer.", the value unchanged. Outside the range:
// the value is stored, then "Please enter an integer between %1 and %2.". True when it passed.
bool ReadIntegerField(QLineEdit& edit, int& value, std::optional<std::pair<int, int>> range = std::nullopt);
void WriteIntegerField(QLineEdit& edit, int value);

// The same for a number: "Please enter a number." (value unchanged) and, after storing it, "Please enter a
// number between %1 and %2.", the bounds shown as numbers are shown.
bool ReadNumberField(QLineEdit& edit, double& value,
                     std::optional<std::pair<double, double>> range = std::nullopt);
void WriteNumberField(QLineEdit& edit, double value);

} // namespace ocu
