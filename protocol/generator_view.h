#pragma once

#include "panel/panel_state.h"
#include "protocol/generator_state.h"

#include <cstdint>
#include <optional>
#include <string>

namespace varlo {

// The panel as a front end of varlo-scpi shows what the generator holds, whoever set it. A
// setting the user has changed and not yet sent stays as the user left it: a waveform, an
// attenuator or a duty cycle shown red, and a frequency keyed, typed or given another unit
// since the panel last showed or sent one. The others follow the generator.

// The frequency this panel last sent, and the unit it was sent in.
struct SentFrequency {
    std::int64_t wholeHz = 0;
    int hundredths = 0;
    Unit unit = Unit::Hz;
};

// What the panel last showed as the generator's frequency: the display's number and unit,
// as it last followed the generator or sent them.
struct GeneratorView {
    double entryValue = StartUpFrequencyHz;
    Unit unit = Unit::Hz;
    std::optional<SentFrequency> sent;
};

// Whether the display holds a frequency of the user's that has not been sent: an entry under
// way, or a number or unit other than the one last shown or sent.
bool frequencyPending(const PanelState& state, const GeneratorView& view);

// The unit to show the generator's frequency in: the one this panel sent it in, or else the
// largest that keeps the number at 1 or more.
Unit unitToShow(const GeneratorState& held, const GeneratorView& view);

// Takes what the generator holds into every setting that is not pending, the pending flags
// staying as they are. Returns the text to put into FreqValue when the frequency follows and
// differs from the display's; nullopt when the display stays as it is.
std::optional<std::string> followGenerator(PanelState& state, GeneratorView& view,
                                           const GeneratorState& held);

// Enter's frequency command has gone: what the display shows is now the generator's.
void frequencySent(GeneratorView& view, const PanelState& state);

} // namespace varlo
