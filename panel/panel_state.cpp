#include "panel/panel_state.h"

namespace varlo {

std::string applyStartupValues(PanelState& state)
{
    state.EntryValue = StartUpFrequencyHz;
    state.WaveCode = StartUpWaveform;
    state.DutyPercent = StartUpDutyPercent;
    state.UnitExponent = Unit::Hz;
    state.AttenuatorOn = StartUpAttenuatorOn;
    state.SettingsChanged = true;
    state.DutyAdjusted = false;
    // "1000" on the display is a finished value, like one just sent: a first digit key
    // replaces it instead of extending it.
    state.KeyCount = EntryEndedCount;
    state.PointEntered = false;
    state.DecimalPlaces = 0;
    return std::to_string(StartUpFrequencyHz);
}

} // namespace varlo
