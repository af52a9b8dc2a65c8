#include "protocol/enter.h"

#include "protocol/command_encoding.h"
#include "protocol/generator_limits.h"

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
    switch (checkFrequency(hz)) {
    case FrequencyCheck::AboveMaximum:
        decision.outcome = EnterDecision::Outcome::FrequencyTooLarge;
        return decision;
    case FrequencyCheck::BelowZero:
        decision.outcome = EnterDecision::Outcome::FrequencyBelowZero;
        return decision;
    case FrequencyCheck::BelowMinimum: // 0 Hz, what the display shows after Clear, is sent
    case FrequencyCheck::InRange:
        break;
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
