#pragma once

#include "protocol/command_decoding.h"

#include <cstdint>

namespace varlo {

// The settings the generator runs with, as the commands it received left them: what the
// instrument shows, and what varlo-scpi answers for. It starts as the panel does: 1000 Hz,
// sine, attenuator off, duty 50 % not adjusted.
struct GeneratorState {
    static constexpr int UnadjustedDutyPercent = 50;

    std::int64_t wholeHz = 1000;
    int hundredths = 0;
    Waveform waveform = Waveform::Sine;
    bool attenuatorOn = false;
    int dutyPercent = UnadjustedDutyPercent;
    bool dutyAdjusted = false;
    friend bool operator==(const GeneratorState&, const GeneratorState&) = default;
};

// The state after one command. A frequency command that says the duty was never adjusted
// puts the duty back to 50 %; a duty command marks it adjusted. An undecodable command
// changes nothing.
GeneratorState applied(GeneratorState state, const DecodedCommand& command);

} // namespace varlo
