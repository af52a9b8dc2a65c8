#include "entry/decimal_digits.h"

#include <charconv>
#include <string_view>

namespace varlo {

DecimalDigits significantDigits(double value, int count)
{
    // Nearest value, locale-free: "d.ddd...e+XX".
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::scientific, count - 1);
    std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
    DecimalDigits decimal;
    decimal.negative = scientific.front() == '-';
    if (decimal.negative)
        scientific.remove_prefix(1);
    const std::size_t e = scientific.find('e');
    for (char c : scientific.substr(0, e))
        if (c != '.')
            decimal.digits.push_back(c);
    const char* exponentStart = scientific.data() + e + 1;
    if (*exponentStart == '+')
        ++exponentStart;
    std::from_chars(exponentStart, scientific.data() + scientific.size(), decimal.exponent);
    return decimal;
}

} // namespace varlo
