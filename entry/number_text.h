#pragma once

#include <string>
#include <string_view>

namespace varlo {

// The numeric value of a display text: blanks, tabs and line feeds are dropped, then the
// longest leading number is read ("12.5kHz" -> 12.5, "1,5" -> 1, "abc" -> 0). "." is the
// only decimal mark; "E" or "D" in either case starts an exponent. Too large gives +-inf.
double numericValue(std::string_view text);

// The display form of a number: whole numbers as plain digits, others rounded to 15
// significant digits in plain decimal without trailing zeros ("0.07", "1.23456").
// Magnitudes below 0.0001 or from 10^15 up use an exponent form ("5E-05") that
// numericValue reads back to the same value.
std::string textForm(double value);

} // namespace varlo
