#pragma once

#include "scpi/language/scpi_parser.h"
#include "scpi/language/scpi_status.h"

#include <span>
#include <string_view>
#include <variant>

namespace varlo::scpi {

// Whether a received word is the short form (the capitals of the pattern: SIN of
// "SINusoid") or the long form of a pattern, in either case. Nothing in between matches.
bool matchesMnemonic(std::string_view word, std::string_view pattern);

// A unit after a number and the power of ten it stands for.
struct UnitSuffix {
    std::string_view name; // in capitals
    int exponent = 0;
};

// Frequencies in Hz, kHz or MHz (MHZ is megahertz here, as every generator reads it; MAHZ
// too) and GHz.
inline constexpr UnitSuffix FrequencyUnits[] = {
    {"HZ", 0}, {"KHZ", 3}, {"MHZ", 6}, {"MAHZ", 6}, {"GHZ", 9}};
inline constexpr UnitSuffix PercentUnits[] = {{"PCT", 0}};
inline constexpr UnitSuffix DecibelUnits[] = {{"DB", 0}};
inline constexpr UnitSuffix SecondUnits[] = {{"S", 0}, {"MS", -3}};

enum class Limit { Minimum, Maximum, Default };
using Number = std::variant<double, Limit>;

// A decimal number (1000, 1e3, 1.5E+3, .5), with or without one of the units after it
// (1 kHz, 1KHZ), or MINimum, MAXimum, DEFault. -104 for a word or a string, -131 for a unit
// not in the list, -222 for a number no double holds, -102 for anything else.
std::variant<Number, Error> readNumber(const Parameter& parameter,
                                       std::span<const UnitSuffix> units = {});

// ON, OFF, 1 or 0.
std::variant<bool, Error> readBoolean(const Parameter& parameter);

} // namespace varlo::scpi
