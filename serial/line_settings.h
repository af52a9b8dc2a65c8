#pragma once

#include <optional>
#include <string_view>

namespace varlo {

// Line settings such as "9600 N 8 1": baud, parity letter, data bits, stop bits,
// separated by single blanks.
struct LineSettings {
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };
    int baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
};

inline constexpr const char* PanelLineSettings = "9600 N 8 1";

// nullopt when the text is not of that form or names values no serial line has.
std::optional<LineSettings> parseLineSettings(std::string_view text);

} // namespace varlo
