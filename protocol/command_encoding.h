#pragma once

#include "panel/panel_state.h"

#include <cstdint>
#include <string>

namespace varlo {

// Commands are uppercase hex digits, numbers written least significant digit first, with
// nothing around them.

// A whole number as low-first hex, padded with "0" to six characters, never cut.
// Zero or a negative number gives "000000".
std::string lowFirstHexField(std::int64_t number);

// Hundredths 0..99 as two hex digits, low digit first ("16" -> "01").
std::string hundredthsField(int hundredths);

// "0".."5": 1 for the attenuator, plus 4 once the duty cycle has been adjusted.
char modeDigit(bool attenuatorOn, bool dutyAdjusted);

char waveformDigit(Waveform waveform);

// The keyed number scaled by its unit to hertz.
double frequencyHz(double entryValue, Unit unit);

// Whole hertz and hundredths as the user reads the frequency: taken from its decimal form
// with 15 significant digits, truncated toward zero. Negative frequencies give 0 and 0.
struct SplitFrequency {
    std::int64_t wholeHz = 0;
    int hundredths = 0;
};
SplitFrequency splitFrequency(double hz);

// Frequency command: whole hertz, hundredths, mode digit, waveform digit; ten characters,
// eleven from 16,777,216 Hz. The frequency must already have passed the range check.
std::string frequencyCommand(double hz, bool attenuatorOn, bool dutyAdjusted, Waveform waveform);

// Duty command: duty percent, "006" or "007" for the attenuator, waveform digit.
std::string dutyCommand(int dutyPercent, bool attenuatorOn, Waveform waveform);

} // namespace varlo
