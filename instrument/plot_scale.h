#pragma once

#include "protocol/generator_state.h"

#include <cstdint>
#include <optional>
#include <string>

namespace varlo::instrument {

// The time one period of the output takes, to six significant digits in the largest of s, ms,
// µs and ns that keeps it at 1 or more: 1000 Hz -> "1 ms", 3 Hz -> "333.333 ms", 100 MHz ->
// "10 ns". nullopt at 0 Hz, which has no period.
std::optional<std::string> periodText(std::int64_t wholeHz, int hundredths);

// The scale of the plot, under it: "12.5 kHz, period 80 µs", or "0 Hz, no period".
std::string plotScaleText(const GeneratorState& state);

} // namespace varlo::instrument
