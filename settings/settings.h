#pragma once

#include "panel/panel_state.h"

#include <string>

namespace varlo {

// The output settings handlers. Each raises its setting's pending flag and, but for the
// unit, marks its control red; none sends anything.

void selectUnit(PanelState& state, Unit unit);             // UnitHz/KHz/MHz_Click
void selectWaveform(PanelState& state, Waveform waveform); // WaveSin/Squ/Tri_Click
void selectAttenuator(PanelState& state, bool on);         // DBSOn/DBSOff_Click

// DutyScroll_Change: records the bar's value and returns the caption for DutyValueLabel.
std::string changeDuty(PanelState& state, int barValue);

} // namespace varlo
