#pragma once

#include "panel/panel_state.h"

#include <optional>
#include <variant>

namespace varlo::scpi {

// The settings a client's commands ask for, each checked already against the generator's
// limits; the generator's owner turns them into commands for the line.
struct SetFrequency {
    double hz = 0;
    bool sweepStep = false; // an oscilloscope's step (C1:BSWV FRQ), which the web page shows
};
struct SetWaveform {
    Waveform waveform = Waveform::Sine;
};
struct SetAttenuator {
    bool on = false;
};
struct SetDuty {
    int percent = 0;
    bool alone = false; // the duty command without the frequency command after it
};
// The duty-adjusted bit of the frequency command, in place of the generator's.
struct SetDutyAdjusted {
    bool on = false;
};
struct Apply {
    Waveform waveform = Waveform::Sine;
    std::optional<double> hz;
};
struct Reset {};
using Change =
    std::variant<SetFrequency, SetWaveform, SetAttenuator, SetDuty, SetDutyAdjusted, Apply, Reset>;

} // namespace varlo::scpi
