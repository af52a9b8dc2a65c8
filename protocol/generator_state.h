#pragma once

#include "protocol/command_decoding.h"
#include "protocol/generator_limits.h"

#include <cstdint>

namespace varlo {

// The settings the generator runs with, as the commands it received left them: what the
// instrument shows, and what varlo-scpi answers for. It starts in the generator's start-up
// state, as the panel does.
struct GeneratorState {
    std::int64_t wholeHz = StartUpFrequencyHz;
    int hundredths = 0;
    Waveform waveform = StartUpWaveform;
    bool attenuatorOn = StartUpAttenuatorOn;
    int dutyPercent = StartUpDutyPercent;
    bool dutyAdjusted = false;
    friend bool operator==(const GeneratorState&, const GeneratorState&) = default;
};

// The state after one command. A frequency command that says the duty was never adjusted
// puts the duty back to 50 %; a duty command marks it adjusted. An undecodable command
// changes nothing.
GeneratorState applied(GeneratorState state, const DecodedCommand& command);

} // namespace varlo
