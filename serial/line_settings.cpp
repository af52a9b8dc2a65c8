#include "serial/line_settings.h"

#include "entry/whole_number.h"

#include <limits>
#include <string>
#include <vector>

namespace varlo {

namespace {

// Fields separated by single blanks; an empty field means a doubled or stray blank.
std::vector<std::string_view> splitOnBlanks(std::string_view text)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t blank = text.find(' ', start);
        fields.push_back(text.substr(start, blank - start));
        if (blank == std::string_view::npos)
            break;
        start = blank + 1;
    }
    return fields;
}

} // namespace

std::optional<LineSettings> parseLineSettings(std::string_view text)
{
    const auto fields = splitOnBlanks(text);
    if (fields.size() != 4)
        return std::nullopt;

    LineSettings settings;
    const auto baud = wholeNumber(fields[0], 1, std::numeric_limits<int>::max());
    if (!baud)
        return std::nullopt;
    settings.baud = *baud;

    if (fields[1].size() != 1)
        return std::nullopt;
    switch (fields[1][0]) {
    case 'N':
    case 'n':
        settings.parity = LineSettings::Parity::None;
        break;
    case 'E':
    case 'e':
        settings.parity = LineSettings::Parity::Even;
        break;
    case 'O':
    case 'o':
        settings.parity = LineSettings::Parity::Odd;
        break;
    case 'M':
    case 'm':
        settings.parity = LineSettings::Parity::Mark;
        break;
    case 'S':
    case 's':
        settings.parity = LineSettings::Parity::Space;
        break;
    default:
        return std::nullopt;
    }

    const auto dataBits = wholeNumber(fields[2], 5, 8);
    if (!dataBits)
        return std::nullopt;
    settings.dataBits = *dataBits;

    if (fields[3] == "1")
        settings.stopBits = LineSettings::StopBits::One;
    else if (fields[3] == "1.5")
        settings.stopBits = LineSettings::StopBits::OneAndHalf;
    else if (fields[3] == "2")
        settings.stopBits = LineSettings::StopBits::Two;
    else
        return std::nullopt;
    return settings;
}

} // namespace varlo
