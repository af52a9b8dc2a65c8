#pragma once

#include "panel/panel_state.h"

#include <optional>
#include <string>
#include <string_view>

namespace varlo {

// Each key works on the entry fields of the state and returns the text it puts into
// FreqValue; putting that text there must then run freqValueChanged with it.

std::string pressDigit(PanelState& state, int digit);     // Num0_Click .. Num9_Click
std::optional<std::string> pressPoint(PanelState& state); // NumPoint_Click; nullopt: no text
std::string pressClear(PanelState& state);                // Clear_Click

// FreqValue_Change: the display text changed, by a key or by typing.
void freqValueChanged(PanelState& state, std::string_view text);

} // namespace varlo
