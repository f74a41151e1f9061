#include "dialogs/DataExchange.h"

#include "common/MessageBox.h"
#include "dialogs/NumberText.h"

#include <QLineEdit>

namespace ocu {
namespace {

bool Fail(QLineEdit& edit, const QString& message) {
    ShowWarning(message);
    edit.setFocus();
    edit.selectAll();
    return false;
}

} // namespace

bool ReadIntegerField(QLineEdit& edit, int& value, std::optional<std::pair<int, int>> range) {
    const std::optional<int> read = ParseIntegerText(edit.text());
    if (!read)
        return Fail(edit, QStringLiteral("Please enter an integer."));
    value = *read;
    if (range && (value < range->first || value > range->second))
        return Fail(edit, QStringLiteral("Please enter an integer between %1 and %2.")
                              .arg(range->first)
                              .arg(range->second));
    return true;
}

void WriteIntegerField(QLineEdit& edit, int value) {
    edit.setText(QString::number(value));
}

bool ReadNumberField(QLineEdit& edit, double& value, std::optional<std::pair<double, double>> range) {
    const std::optional<double> read = ParseNumberText(edit.text());
    if (!read)
        return Fail(edit, QStringLiteral("Please enter a number."));
    value = *read;
    if (range && !(value >= range->first && value <= range->second))
        return Fail(edit, QStringLiteral("Please enter a number between %1 and %2.")
                              .arg(FormatNumber(range->first), FormatNumber(range->second)));
    return true;
}

void WriteNumberField(QLineEdit& edit, double value) {
    edit.setText(FormatNumber(value));
}

} // namespace ocu
