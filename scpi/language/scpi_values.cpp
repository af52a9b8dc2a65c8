#include "scpi/language/scpi_values.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace varlo::scpi {

namespace {

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameWord(std::string_view word, std::string_view capitals)
{
    if (word.size() != capitals.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (upper(word[i]) != upper(capitals[i]))
            return false;
    return true;
}

// The digits of a run starting at `i`; `i` ends after them.
std::size_t skipDigits(std::string_view text, std::size_t& i)
{
    const std::size_t start = i;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    return i - start;
}

} // namespace

bool matchesMnemonic(std::string_view word, std::string_view pattern)
{
    std::size_t shortLength = 0;
    while (shortLength < pattern.size() &&
           !(pattern[shortLength] >= 'a' && pattern[shortLength] <= 'z'))
        ++shortLength;
    return sameWord(word, pattern.substr(0, shortLength)) || sameWord(word, pattern);
}

std::variant<Number, Error> readNumber(const Parameter& parameter,
                                       std::span<const UnitSuffix> units)
{
    const std::string_view text = parameter.text;
    if (parameter.quoted)
        return errors::DataType;
    if (text.empty())
        return errors::Syntax;
    if (isLetter(text.front())) {
        if (matchesMnemonic(text, "MINimum"))
            return Limit::Minimum;
        if (matchesMnemonic(text, "MAXimum"))
            return Limit::Maximum;
        if (matchesMnemonic(text, "DEFault"))
            return Limit::Default;
        return errors::DataType;
    }

    // Mantissa: a sign, digits with a decimal point somewhere, at least one digit.
    std::size_t i = 0;
    if (text[i] == '+' || text[i] == '-')
        ++i;
    std::size_t digits = skipDigits(text, i);
    if (i < text.size() && text[i] == '.') {
        ++i;
        digits += skipDigits(text, i);
    }
    if (digits == 0)
        return errors::Syntax;
    const std::string_view mantissa = text.substr(0, i);

    // Exponent: E, a sign, digits. An E without digits after it would be a unit.
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        std::size_t j = i + 1;
        std::size_t start = j; // from_chars reads a minus but no plus
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            start = text[j] == '+' ? j + 1 : j;
            ++j;
        }
        std::size_t end = j;
        if (skipDigits(text, end) > 0) {
            const auto [last, error] =
                std::from_chars(text.data() + start, text.data() + end, exponent);
            if (error != std::errc())
                return errors::OutOfRange;
            i = end;
        }
    }

    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    const std::string_view suffix = text.substr(i);
    for (const char c : suffix)
        if (!isLetter(c))
            return errors::Syntax;
    if (!suffix.empty()) {
        const UnitSuffix* unit = nullptr;
        for (const UnitSuffix& candidate : units)
            if (sameWord(suffix, candidate.name))
                unit = &candidate;
        if (unit == nullptr)
            return errors::InvalidSuffix;
        exponent += unit->exponent;
    }
    if (exponent > std::numeric_limits<int>::max() / 2 ||
        exponent < std::numeric_limits<int>::min() / 2)
        return errors::OutOfRange;

    // The unit moves the decimal point rather than multiplying, so that 1.001 kHz is
    // exactly 1001 Hz.
    const std::string decimal = std::string(mantissa) + "e" + std::to_string(exponent);
    const char* first = decimal.data();
    if (*first == '+')
        ++first;
    double value = 0;
    const auto [last, error] = std::from_chars(first, decimal.data() + decimal.size(), value);
    if (error != std::errc() || !std::isfinite(value))
        return errors::OutOfRange;
    return value;
}

std::variant<bool, Error> readBoolean(const Parameter& parameter)
{
    if (!parameter.quoted && sameWord(parameter.text, "ON"))
        return true;
    if (!parameter.quoted && sameWord(parameter.text, "OFF"))
        return false;
    const auto number = readNumber(parameter);
    if (const auto* error = std::get_if<Error>(&number))
        return *error == errors::DataType && !parameter.quoted ? errors::IllegalValue : *error;
    const auto* value = std::get_if<double>(&std::get<Number>(number));
    if (value != nullptr && (*value == 0 || *value == 1))
        return *value == 1;
    return errors::IllegalValue;
}

} // namespace varlo::scpi
