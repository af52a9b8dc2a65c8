#pragma once

#include "panel/panel_state.h"

#include <optional>
#include <variant>

namespace varlo::scpi {

// The settings a client's commands ask for, each checked already against the generator's
// limits; the generator's owner turns them into commands for the line.
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

} // namespace varlo::scpi
