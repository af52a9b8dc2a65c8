#include "protocol/enter.h"

#include "protocol/command_encoding.h"
#include "protocol/generator_limits.h"

namespace varlo {

namespace {

// A press sends the first command of Enter's sequence for what is pending: the duty command
// alone while the duty is, with the frequency command left for the next press.
EnterDecision firstOfSequence(const PanelState& state, std::optional<double> hz)
{
    WantedSettings wanted{hz, state.WaveCode, state.AttenuatorOn, std::nullopt};
    if (state.DutyChanged)
        wanted.dutyPercent = state.DutyPercent;
    // The panel knows nothing of the generator but what it sent: the bit is its own.
    const SequencedCommand first =
        enterSequence(GeneratorState{}, wanted, state.DutyAdjusted ? DutyBit::Set : DutyBit::Clear)
            .front();
    return {EnterDecision::Outcome::Send, first.kind, first.command};
}

} // namespace

EnterDecision pressEnter(const PanelState& state)
{
    EnterDecision decision;
    if (state.DutyChanged)
        return firstOfSequence(state, std::nullopt);
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
    return firstOfSequence(state, hz);
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
