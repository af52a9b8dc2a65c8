#include "protocol/enter.h"

#include "protocol/command_encoding.h"

namespace varlo {

EnterDecision pressEnter(const PanelState& state)
{
    EnterDecision decision;
    if (state.DutyChanged) {
        decision.kind = CommandKind::Duty;
        decision.command = dutyCommand(state.DutyPercent, state.AttenuatorOn, state.WaveCode);
        return decision;
    }
    // With nothing changed the display's entry is sent again, never a made-up zero.
    const double hz = frequencyHz(state.EntryValue, state.UnitExponent);
    if (hz > MaxFrequencyHz) {
        decision.outcome = EnterDecision::Outcome::FrequencyTooLarge;
        return decision;
    }
    // Zero itself (and -0, which reads as zero) is what the display shows after Clear.
    if (hz < 0) {
        decision.outcome = EnterDecision::Outcome::FrequencyBelowZero;
        return decision;
    }
    decision.kind = CommandKind::Frequency;
    decision.command = frequencyCommand(hz, state.AttenuatorOn, state.DutyAdjusted, state.WaveCode);
    return decision;
}

void commandSent(PanelState& state, CommandKind kind)
{
    if (kind == CommandKind::Duty) {
        state.DutyChanged = false;
        state.RedMarks.dutySent();
    } else {
        state.SettingsChanged = false;
        state.RedMarks.frequencySent();
    }
    // Sending ends the entry: the next key starts a new one, with or without a point.
    state.KeyCount = EntryEndedCount;
    state.PointEntered = false;
    state.DecimalPlaces = 0;
}

} // namespace varlo
