#include "protocol/generator_view.h"

#include "entry/number_text.h"
#include "protocol/command_encoding.h"
#include "protocol/command_wording.h"

namespace varlo {

namespace {

bool waveformPending(const PanelState& state)
{
    return state.RedMarks.isRed(Marked::WaveSin) || state.RedMarks.isRed(Marked::WaveSqu) ||
           state.RedMarks.isRed(Marked::WaveTri);
}

bool attenuatorPending(const PanelState& state)
{
    return state.RedMarks.isRed(Marked::DBSOn) || state.RedMarks.isRed(Marked::DBSOff);
}

bool displayShows(const PanelState& state, const GeneratorState& held)
{
    const SplitFrequency shown = splitFrequency(frequencyHz(state.EntryValue, state.UnitExponent));
    return shown.wholeHz == held.wholeHz && shown.hundredths == held.hundredths;
}

} // namespace

bool frequencyPending(const PanelState& state, const GeneratorView& view)
{
    return state.KeyCount != EntryEndedCount || state.EntryValue != view.entryValue ||
           state.UnitExponent != view.unit;
}

Unit unitToShow(const GeneratorState& held, const GeneratorView& view)
{
    if (view.sent && view.sent->wholeHz == held.wholeHz && view.sent->hundredths == held.hundredths)
        return view.sent->unit;
    return largestUnit(held.wholeHz);
}

std::optional<std::string> followGenerator(PanelState& state, GeneratorView& view,
                                           const GeneratorState& held)
{
    if (!waveformPending(state))
        state.WaveCode = held.waveform;
    if (!attenuatorPending(state))
        state.AttenuatorOn = held.attenuatorOn;
    if (!state.DutyChanged)
        state.DutyPercent = static_cast<std::int16_t>(held.dutyPercent);
    const bool keepFrequency = frequencyPending(state, view);
    state.SettingsChanged = keepFrequency || waveformPending(state) || attenuatorPending(state);
    if (keepFrequency || displayShows(state, held))
        return std::nullopt;

    const Unit unit = unitToShow(held, view);
    std::string text = numberInUnit(held.wholeHz, held.hundredths, unit);
    state.UnitExponent = unit;
    state.EntryValue = numericValue(text);
    // A frequency taken from the generator is a finished value, like one just sent.
    state.KeyCount = EntryEndedCount;
    state.PointEntered = false;
    state.DecimalPlaces = 0;
    view.entryValue = state.EntryValue;
    view.unit = unit;
    return text;
}

void frequencySent(GeneratorView& view, const PanelState& state)
{
    const SplitFrequency split = splitFrequency(frequencyHz(state.EntryValue, state.UnitExponent));
    view.entryValue = state.EntryValue;
    view.unit = state.UnitExponent;
    view.sent = SentFrequency{split.wholeHz, split.hundredths, state.UnitExponent};
}

} // namespace varlo
