#pragma once

#include "protocol/generator_limits.h"
#include "protocol/generator_state.h"

#include <optional>
#include <string>
#include <vector>

namespace varlo {

// Enter's command sequence, for the panel, varlo-send and varlo-scpi alike: the duty command
// first when a duty cycle is to be set, built with the shape and attenuator wanted, then the
// frequency command carrying the frequency, the shape, the attenuator and the duty-adjusted
// bit.

enum class CommandKind { Duty, Frequency };

// The settings the sequence is to give the generator. Without a frequency the duty command
// goes alone. The frequency has passed
// the caller's check already.
struct WantedSettings {
    std::optional<double> hz;
    Waveform waveform = StartUpWaveform;
    bool attenuatorOn = StartUpAttenuatorOn;
    std::optional<int> dutyPercent;
};

// Where the frequency command's duty-adjusted bit comes from, the one way the front ends
// differ. varlo-scpi keeps the bit as the generator holds it after the sequence's duty
// command, since a client's settings change only what they name. The panel and varlo-send
// give it as they would on a port: the panel from its own state (set from the first duty
// change on), a varlo-send step only with a duty of its own, since a step leaves everything
// it does not name at its start-up value.
enum class DutyBit { AsGeneratorHolds, Set, Clear };

// One command of the sequence and the generator's settings once it has taken it.
struct SequencedCommand {
    CommandKind kind = CommandKind::Frequency;
    std::string command;
    GeneratorState after;
};

std::vector<SequencedCommand> enterSequence(const GeneratorState& from,
                                            const WantedSettings& wanted, DutyBit dutyBit);

} // namespace varlo
