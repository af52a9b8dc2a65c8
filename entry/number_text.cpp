#include "entry/number_text.h"

#include "entry/decimal_digits.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace varlo {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The text with every blank, tab and line feed removed.
std::string withoutBlanks(std::string_view text)
{
    std::string kept;
    kept.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n')
            kept.push_back(c);
    return kept;
}

// Length of the leading number in text: sign, digits with at most one point, optional
// exponent. 0 when the text does not start with a number.
struct LeadingNumber {
    std::size_t length = 0;
    std::size_t exponentMark = std::string::npos; // position of E/D, if any
};

LeadingNumber scanLeadingNumber(const std::string& text)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    bool anyDigit = false;
    bool point = false;
    while (i < text.size()) {
        if (isDigit(text[i]))
            anyDigit = true;
        else if (text[i] == '.' && !point)
            point = true;
        else
            break;
        ++i;
    }
    if (!anyDigit)
        return {};
    LeadingNumber number{i};
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j]))
                ++j;
            number = {j, i};
        }
    }
    return number;
}

// Whether a number that does not fit a double is too large (rather than too small).
// Decimal magnitude = digits before the point (leading zeros aside), or minus the zeros
// right after it, plus the exponent; the exponent is clamped so it cannot overflow.
bool overflowsUp(std::string_view number, std::size_t exponentMark)
{
    const std::string_view mantissa = number.substr(0, exponentMark);
    long long magnitude = 0;
    bool seenNonZero = false;
    bool afterPoint = false;
    for (char c : mantissa) {
        if (c == '.') {
            afterPoint = true;
        } else if (isDigit(c)) {
            if (c != '0')
                seenNonZero = true;
            if (!afterPoint && seenNonZero)
                ++magnitude;
            if (afterPoint && !seenNonZero)
                --magnitude;
            if (afterPoint && seenNonZero)
                break;
        }
    }
    if (!seenNonZero)
        return false;
    if (exponentMark != std::string_view::npos) {
        long long exponent = 0;
        std::size_t k = exponentMark + 1;
        const bool negative = k < number.size() && number[k] == '-';
        if (k < number.size() && (number[k] == '+' || number[k] == '-'))
            ++k;
        for (; k < number.size(); ++k)
            exponent = std::min(exponent * 10 + (number[k] - '0'), 1'000'000'000LL);
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude > 0;
}

} // namespace

double numericValue(std::string_view text)
{
    std::string kept = withoutBlanks(text);
    const LeadingNumber number = scanLeadingNumber(kept);
    if (number.length == 0)
        return 0.0;
    std::string digits = kept.substr(0, number.length);
    if (number.exponentMark != std::string::npos)
        digits[number.exponentMark] = 'e';
    const bool negative = digits[0] == '-';
    const std::size_t start = (digits[0] == '+' || digits[0] == '-') ? 1 : 0;
    double value = 0.0;
    const auto [end, error] =
        std::from_chars(digits.data() + start, digits.data() + digits.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        value = overflowsUp(std::string_view(digits).substr(start),
                            number.exponentMark == std::string::npos ? std::string_view::npos
                                                                     : number.exponentMark - start)
                    ? std::numeric_limits<double>::infinity()
                    : 0.0;
    } else if (error != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

namespace {

constexpr int ShownDigits = 15;
// Enough significant digits for any double to read back exactly.
constexpr int ExactDigits = 17;

// Plain decimal from 15 significant digits, without trailing zeros.
std::string plainDecimal(double value)
{
    DecimalDigits decimal = significantDigits(value, ShownDigits);
    std::string text;
    if (decimal.exponent >= 0) {
        const auto wholeDigits = static_cast<std::size_t>(decimal.exponent) + 1;
        decimal.digits.resize(std::max(decimal.digits.size(), wholeDigits), '0');
        text = decimal.digits.substr(0, wholeDigits) + "." + decimal.digits.substr(wholeDigits);
    } else {
        text = "0." + std::string(static_cast<std::size_t>(-decimal.exponent - 1), '0') +
               decimal.digits;
    }
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return decimal.negative ? "-" + text : text;
}

// Exponent form from a count of significant digits, without trailing zeros: "6E-05",
// "1.5E+20".
std::string exponentForm(double value, int digitCount)
{
    DecimalDigits decimal = significantDigits(value, digitCount);
    while (decimal.digits.size() > 1 && decimal.digits.back() == '0')
        decimal.digits.pop_back();
    std::string text = decimal.negative ? "-" : "";
    text.push_back(decimal.digits.front());
    if (decimal.digits.size() > 1) {
        text.push_back('.');
        text.append(decimal.digits, 1);
    }
    // At least two exponent digits, as in "6E-05".
    const int exponent = decimal.exponent;
    text.append(exponent < 0 ? "E-" : "E+");
    if (exponent > -10 && exponent < 10)
        text.push_back('0');
    text.append(std::to_string(exponent < 0 ? -exponent : exponent));
    return text;
}

} // namespace

std::string textForm(double value)
{
    if (std::isnan(value))
        return "0";
    if (std::isinf(value))
        // Reads back as infinity, so the display never stands for a smaller number.
        return value > 0 ? "1E+999" : "-1E+999";
    const double magnitude = std::fabs(value);
    if (magnitude < 1e15 && value == std::trunc(value)) {
        char buffer[32];
        const auto result =
            std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(value));
        return std::string(buffer, result.ptr);
    }
    // Plain or exponent form is chosen on the 15-digit value the display shows, so that a
    // shown number read back shows the same way again (999999999999999.9 would be "1E+15").
    const int shownExponent = significantDigits(value, ShownDigits).exponent;
    if (magnitude == 0.0 || (shownExponent >= -4 && shownExponent < 15))
        return plainDecimal(value);
    // The same 15 digits as the plain form. Only next to the largest double can rounding to
    // them step past it; there the display keeps every digit it needs, so that it never
    // stands for infinity.
    const std::string shown = exponentForm(value, ShownDigits);
    if (std::isinf(numericValue(shown)))
        return exponentForm(value, ExactDigits);
    return shown;
}

} // namespace varlo
