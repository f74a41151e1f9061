// Numbers as the dialogs' edits show and read them, by the rules of the framework's data exchange.
#pragma once

#include <QString>
#include <optional>

namespace ocu {

// A decimal integer with an optional sign, blanks and tabs allowed around it. A value beyond 32 bits
// reads as the nearest 32-bit value, so that the range check refuses it. Nothing else is an integer.
std::optional<int> ParseIntegerText(const QString& text);

// One decimal number (optional sign, digits with an optional decimal point, an optional exponent), blanks
// and tabs allowed around it; only the first 31 characters are read. A value of zero counts only when the
// text, after the blanks, starts with the digit 0, so "-0" and ".0" are no numbers.
std::optional<double> ParseNumberText(const QString& text);

// "%.*g" with 15 significant digits: 1.0 shows as "1", 1/3 as "0.333333333333333".
QString FormatNumber(double value);

} // namespace ocu
