#pragma once

#include "protocol/enter_sequence.h"
#include "protocol/generator_state.h"
#include "scpi/language/setting_changes.h"

#include <span>
#include <vector>

namespace varlo::scpi {

// What the generator was last sent is a GeneratorState, as far as the commands that reached
// it tell. Before the first command it holds the panel's start-up state, which *RST also sends.

// The commands of the changes one message asks for together, from the settings sent before
// them, as Enter's sequence gives them: the duty command first when the message sets a duty,
// built with the shape and attenuator the message ends with, then one frequency command
// carrying frequency, shape, attenuator and the duty-adjusted bit as the generator then holds
// it, or as the message gives it. *RST takes everything back to the start-up state, a duty
// asked for before it included. The frequency command goes even when the changes leave every
// setting as it was, so that a message of settings puts a power-cycled generator back in step;
// only a duty asked to go alone, in a message that names nothing that only the frequency
// command carries (a frequency, the bit, *RST), leaves it out.
std::vector<SequencedCommand> planWrites(const GeneratorState& sent,
                                         std::span<const Change> changes);

} // namespace varlo::scpi
