#pragma once

#include "entry/checked.h"
#include "panel/panel_state.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace varlo::send {

using Duration = std::chrono::microseconds;

// FREQUENCY: digits with at most one "." and an optional unit Hz, kHz or MHz in either case
// ("1000", "12.5kHz", "2.5MHz", "0.05Hz"), in hertz as the panel makes it from a keyed number
// and its unit. Refused outside the generator's range: at 0 Hz, below the 0.01 Hz a command
// can carry, and above 100 MHz.
Checked<double> parseFrequency(std::string_view text);

// Whether the word is a unit of FREQUENCY on its own: "Hz", "kHz" or "MHz" in either case.
bool isFrequencyUnit(std::string_view word);

// Whether the word has FREQUENCY's form, in range or not: "5025", "0", "12.5kHz".
bool readsAsFrequency(std::string_view word);

// TIME: a number followed by "ms" or "s" ("50ms", "1.5s"); zero is allowed.
Checked<Duration> parseTime(std::string_view text);

// WAVEFORM: "sine", "square" or "triangle"; nullopt for any other word.
std::optional<Waveform> waveformNamed(std::string_view word);

// The refusal of a word that stands where a WAVEFORM may but names none.
Refusal unknownWaveform(std::string_view word);

// "on" or "off", for the attenuator.
Checked<bool> parseOnOff(std::string_view text);

// --duty: a whole number from 20 to 80.
Checked<int> parseDuty(std::string_view text);

// A whole number of at least `least` and at most `most`, named in the refusal by `what`.
Checked<int> parseCount(std::string_view text, std::string_view what, int least, int most);

// The refusal of an option's value led by the option's name ("--dwell: not a time: ..."), so
// that every refusal says which option it is about.
template <class T> Checked<T> forOption(std::string_view option, Checked<T> checked)
{
    if (auto* refusal = std::get_if<Refusal>(&checked))
        refusal->message.insert(0, std::string(option) + ": ");
    return checked;
}

} // namespace varlo::send
