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
    switch (waveform) {
    case Waveform::Sine:
        state.RedMarks.mark(Marked::WaveSin);
        break;
    case Waveform::Square:
        state.RedMarks.mark(Marked::WaveSqu);
        break;
    case Waveform::Triangle:
        state.RedMarks.mark(Marked::WaveTri);
        break;
    }
}

void selectAttenuator(PanelState& state, bool on)
{
    state.SettingsChanged = true;
    state.AttenuatorOn = on;
    state.RedMarks.mark(on ? Marked::DBSOn : Marked::DBSOff);
}

std::string changeDuty(PanelState& state, int barValue)
{
    state.DutyAdjusted = true;
    state.DutyChanged = true;
    state.DutyPercent = static_cast<std::int16_t>(barValue);
    state.RedMarks.mark(Marked::DutyValueLabel);
    return std::to_string(state.DutyPercent);
}

} // namespace varlo
