#pragma once

#include "protocol/generator_state.h"
#include "scpi/language/setting_changes.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace varlo::scpi {

// What the generator was last sent is a GeneratorState, as far as the commands that reached
// it tell. Before the first command it holds the panel's start-up state, which *RST also sends.

// One command for the line and the settings once it has reached the generator.
struct PlannedWrite {
    std::string command;
    GeneratorState after;
};

// The commands of the changes one line asks for together, from the settings sent before them.
// Frequency, shape and attenuator go as one frequency command carrying all three and the
// duty-adjusted bit, as Enter builds it. A duty change goes before it as the duty command,
// built with the shape and attenuator the line ends with, and sets the bit. *RST takes
// everything back to the start-up state, a duty asked for before it included. The frequency
// command goes even when the changes leave every setting as it was, so that a line of
// settings puts a power-cycled generator back in step.
std::vector<PlannedWrite> planWrites(const GeneratorState& sent, std::span<const Change> changes);

} // namespace varlo::scpi
