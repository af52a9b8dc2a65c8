#pragma once

#include "panel/panel_state.h"

#include <cstdint>
#include <string_view>
#include <variant>

namespace varlo {

// What one command text means to the generator: the reading of what the encoder writes. Commands
// are uppercase hex digits, numbers least significant digit first, ten characters (eleven for a
// frequency of 16,777,216 Hz or more), with nothing around them.

// Whole hertz, hundredths, mode digit (attenuator, duty adjusted), waveform digit.
struct FrequencySetting {
    std::int64_t wholeHz = 0;
    int hundredths = 0;
    bool attenuatorOn = false;
    bool dutyAdjusted = false;
    Waveform waveform = Waveform::Sine;
    friend bool operator==(const FrequencySetting&, const FrequencySetting&) = default;
};

// Duty percentage, "006"/"007" for the attenuator, waveform digit.
struct DutySetting {
    int dutyPercent = 0;
    bool attenuatorOn = false;
    Waveform waveform = Waveform::Sine;
    friend bool operator==(const DutySetting&, const DutySetting&) = default;
};

enum class DecodeError {
    WrongLength,            // neither ten nor eleven characters
    NotHex,                 // a character other than 0-9 and A-F
    BadWaveformDigit,       // last character not 8, 4 or 2
    BadModeDigit,           // mode digit not 0, 1, 4 or 5 (and not a duty command either)
    BadHundredths,          // hundredths field above 99
    ElevenBelowSevenDigits, // eleven characters but the seventh frequency digit is 0
};

using DecodedCommand = std::variant<FrequencySetting, DutySetting, DecodeError>;

DecodedCommand decodeCommand(std::string_view text);

// Whether the text is a complete, valid command.
bool isValidCommand(std::string_view text);

} // namespace varlo
