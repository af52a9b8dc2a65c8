#pragma once

#include <string>

namespace varlo {

// A finite number rounded to a count of significant decimal digits: digits[i] stands for
// 10^(exponent - i). The display and the command both read numbers this way, so that what
// the user sees is what is sent.
struct DecimalDigits {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

DecimalDigits significantDigits(double value, int count);

} // namespace varlo
