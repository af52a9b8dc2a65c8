#pragma once

#include "panel/panel_state.h"
#include "protocol/generator_limits.h"
#include "protocol/generator_state.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace varlo::scpi {

// What the generator was last sent is a GeneratorState, as far as the commands that reached
// it tell. Before the first command it holds the panel's start-up state, which *RST also sends.

// The changes a client asks for; each is checked already.
struct SetFrequency {
    double hz = 0;
};
struct SetWaveform {
    Waveform waveform = Waveform::Sine;
};
struct SetAttenuator {
    bool on = false;
};
struct SetDuty {
    int percent = 0;
};
struct Apply {
    Waveform waveform = Waveform::Sine;
    std::optional<double> hz;
};
struct Reset {};
using Change = std::variant<SetFrequency, SetWaveform, SetAttenuator, SetDuty, Apply, Reset>;

// One command for the line and the settings once it has reached the generator.
struct PlannedWrite {
    std::string command;
    GeneratorState after;
};

// The commands of a change, from the settings sent before it. A change of frequency, shape
// or attenuator is one frequency command carrying all three and the duty-adjusted bit, as
// Enter builds it; a duty change is the duty command and then that frequency command with the
// bit set; *RST is the frequency command of the start-up state.
std::vector<PlannedWrite> planWrites(const GeneratorState& sent, const Change& change);

// How many commands a change takes on the line.
std::size_t commandCount(const Change& change);

// "SIN", "SQU", "TRI".
std::string waveformMnemonic(Waveform waveform);

} // namespace varlo::scpi
