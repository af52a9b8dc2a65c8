#include "settings/settings.h"

namespace varlo {

void selectUnit(PanelState& state, Unit unit)
{
    state.SettingsChanged = true;
    state.UnitExponent = unit;
}

void selectWaveform(PanelState& state, Waveform waveform)
{
    state.SettingsChanged = true;
    state.WaveCode = waveform;
}

void selectAttenuator(PanelState& state, bool on)
{
    state.SettingsChanged = true;
    state.AttenuatorOn = on;
}

std::string changeDuty(PanelState& state, int barValue)
{
    state.DutyAdjusted = true;
    state.DutyChanged = true;
    state.DutyPercent = static_cast<std::int16_t>(barValue);
    return std::to_string(state.DutyPercent);
}

} // namespace varlo
