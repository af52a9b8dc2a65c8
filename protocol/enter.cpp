#include "protocol/enter.h"

#include "protocol/command_encoding.h"

namespace varlo {

namespace {

// Sending ends the entry: the next key starts a new one, with or without a point.
void endEntry(PanelState& state)
{
    state.KeyCount = 7;
    state.PointEntered = false;
    state.DecimalPlaces = 0;
}

} // namespace

EnterDecision pressEnter(PanelState& state)
{
    EnterDecision decision;
    if (state.DutyChanged) {
        decision.kind = CommandKind::Duty;
        decision.command = dutyCommand(state.DutyPercent, state.AttenuatorOn, state.WaveCode);
        state.DutyChanged = false;
    } else {
        // With nothing changed the display's entry is sent again, never a made-up zero.
        const double hz = frequencyHz(state.EntryValue, state.UnitExponent);
        if (hz > MaxFrequencyHz) {
            decision.outcome = EnterDecision::Outcome::FrequencyTooLarge;
            return decision;
        }
        state.SettingsChanged = false;
        decision.kind = CommandKind::Frequency;
        decision.command =
            frequencyCommand(hz, state.AttenuatorOn, state.DutyAdjusted, state.WaveCode);
    }
    endEntry(state);
    return decision;
}

void markUnsent(PanelState& state, CommandKind kind)
{
    if (kind == CommandKind::Duty)
        state.DutyChanged = true;
    else
        state.SettingsChanged = true;
}

} // namespace varlo
