#include "dialogs/NumberText.h"

#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

namespace ocu {
namespace {

constexpr qsizetype kNumberTextLength = 31;

bool IsBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString TrimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

std::optional<int> ParseIntegerText(const QString& text) {
    static const QRegularExpression integer(QStringLiteral("^[+-]?[0-9]+$"));
    const QString trimmed = TrimBlanks(text);
    if (!integer.match(trimmed).hasMatch())
        return std::nullopt;
    const std::string digits = trimmed.toStdString();
    const bool negative = digits[0] == '-';
    const size_t first = (digits[0] == '-' || digits[0] == '+') ? 1 : 0;
    int64_t value = 0;
    for (size_t i = first; i < digits.size() && value <= int64_t{1} << 40; ++i)
        value = value * 10 + (digits[i] - '0');
    value = negative ? -value : value;
    return static_cast<int>(
        std::clamp<int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

std::optional<double> ParseNumberText(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    const QString head = text.left(kNumberTextLength);
    const QString trimmed = TrimBlanks(head);
    if (!number.match(trimmed).hasMatch())
        return std::nullopt;
    const std::string digits = trimmed.toStdString();
    const char* begin = digits.c_str() + (digits[0] == '+' ? 1 : 0);
    double value = 0;
    const auto [end, error] = std::from_chars(begin, digits.c_str() + digits.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Within 31 characters only the exponent can leave the range: a negative one underflows to zero,
        // any other overflows.
        const qsizetype e = trimmed.indexOf(QLatin1Char('e'), 0, Qt::CaseInsensitive);
        const bool underflow = e >= 0 && trimmed.mid(e + 1).startsWith(QLatin1Char('-'));
        const double magnitude = underflow ? 0.0 : std::numeric_limits<double>::infinity();
        value = digits[0] == '-' ? -magnitude : magnitude;
    } else if (error != std::errc() || end != digits.c_str() + digits.size()) {
        return std::nullopt;
    }
    if (value == 0.0 && trimmed[0] != QLatin1Char('0'))
        return std::nullopt;
    return value;
}

QString FormatNumber(double value) {
    return QString::asprintf("%.*g", 15, value);
}

} // namespace ocu
