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
// Magnitudes below 0.0001 or from 10^15 up use an exponent form of the same 15 digits
// ("6E-05"); numericValue reads any shown text back to the number it shows.
std::string textForm(double value);

} // namespace varlo
