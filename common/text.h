#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/ports.h"

namespace verlisk {

// General number format: at most 15 significant digits, no trailing zeros, the
// given decimal separator, no grouping, "-" for negatives, exponent form
// (1E+15, 1E-05) only beyond the plain range.
std::string NumberText(double value, std::string_view decimalSeparator);
std::string NumberText(double value, RegionalSettings& regional);

// A 32-bit integer as plain digits.
std::string IntText(std::int32_t value);

// Short date, a blank, long time.
std::string DateTimeText(const DateTime& t, RegionalSettings& regional);

// Rounds to the given number of decimals (0 = whole number) on the value's
// 15-digit decimal form, an exact half going to the even neighbour.
double RoundHalfEven(double value, int decimals);

// Without leading and trailing space characters.
std::string Trim(std::string_view text);

// Splits at every CR LF: "" gives no lines, text without CR LF one line, text
// ending in CR LF an empty last line.
std::vector<std::string> SplitCrLf(std::string_view text);

}  // namespace verlisk
