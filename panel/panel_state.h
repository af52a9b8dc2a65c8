#pragma once

#include "panel/pending_marks.h"
#include "protocol/generator_limits.h"

#include <cstdint>
#include <string>

namespace varlo {

// The unit in which the keyed number is meant; the value is the power of ten.
enum class Unit : std::int16_t { Hz = 0, KHz = 3, MHz = 6 };

// The key that brings KeyCount to RestartCount starts a new entry instead of extending it.
// An ended entry (one just sent, or the start-up value) holds EntryEndedCount, so that the
// next counted key is the one that restarts.
inline constexpr std::int16_t RestartCount = 8;
inline constexpr std::int16_t EntryEndedCount = RestartCount - 1;

// The one record behind the panel window: the frequency entry being keyed and the output
// settings with their pending flags. Handlers work on the fields directly.
struct PanelState {
    std::int16_t KeyCount = 0;      // keys counted into the current entry
    std::int16_t DecimalPlaces = 0; // digits keyed after the point
    double EntryValue = 0;          // keyed number, in the selected unit
    double DigitScale = 0;          // working value of the last fraction digit
    bool PointEntered = false;
    bool AttenuatorOn = false;
    bool SettingsChanged = false; // entry, unit, waveform or attenuator not yet sent
    bool DutyAdjusted = false;    // duty changed at least once since start-up; never cleared
    bool DutyChanged = false;     // duty changed since the last duty command
    std::int16_t DutyPercent = 0;
    Unit UnitExponent = Unit::Hz;
    Waveform WaveCode = Waveform::Sine;
    std::string EntryText; // keyed text, at most 7 characters
    PendingMarks RedMarks; // the controls shown red, mirroring the two flags above
};

// Gives the record the generator's start-up state and returns the text to put into FreqValue,
// "1000".
// The start-up value counts as an ended entry, so the first key starts a new one.
std::string applyStartupValues(PanelState& state);

} // namespace varlo
