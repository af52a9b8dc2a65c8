#include "send/send_values.h"

#include "entry/number_text.h"
#include "entry/whole_number.h"
#include "protocol/command_encoding.h"
#include "protocol/command_wording.h"
#include "protocol/generator_limits.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

namespace varlo::send {

namespace {

bool sameLetters(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// Digits with at most one "." among them, at least one digit: no sign, no exponent, no
// blank, so that what the panel's keypad could not have keyed is refused, not guessed.
bool isPlainDecimal(std::string_view text)
{
    bool point = false;
    bool digit = false;
    for (const char c : text) {
        if (c == '.') {
            if (point)
                return false;
            point = true;
        } else if (c >= '0' && c <= '9') {
            digit = true;
        } else {
            return false;
        }
    }
    return digit;
}

std::string quoted(std::string_view text)
{
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

// No unit is hertz, as on the panel at start-up.
std::optional<Unit> unitNamed(std::string_view text)
{
    if (text.empty() || sameLetters(text, "Hz"))
        return Unit::Hz;
    if (sameLetters(text, "kHz"))
        return Unit::KHz;
    if (sameLetters(text, "MHz"))
        return Unit::MHz;
    return std::nullopt;
}

struct NumberAndUnit {
    std::string_view number;
    std::string_view unit;
};

NumberAndUnit splitUnit(std::string_view text)
{
    const auto first =
        std::ranges::find_if(text, [](char c) { return !((c >= '0' && c <= '9') || c == '.'); });
    const auto at = static_cast<std::size_t>(first - text.begin());
    return {text.substr(0, at), text.substr(at)};
}

} // namespace

Checked<double> parseFrequency(std::string_view text)
{
    const auto [number, unitText] = splitUnit(text);
    const std::optional<Unit> unit = unitNamed(unitText);
    if (!isPlainDecimal(number) || !unit)
        return Refusal{"not a frequency: " + quoted(text) +
                       " (a number with \".\" as the decimal mark and Hz, kHz or MHz)"};
    // The keyed number read and scaled exactly as the panel reads and scales it.
    const double hz = frequencyHz(numericValue(number), *unit);
    switch (checkFrequency(hz)) {
    case FrequencyCheck::AboveMaximum:
        return Refusal{"frequency " + quoted(text) + " is above 100 MHz"};
    case FrequencyCheck::BelowMinimum:
    case FrequencyCheck::BelowZero:
        return Refusal{"frequency " + quoted(text) +
                       " is not above 0 Hz in hundredths (the least is 0.01 Hz)"};
    case FrequencyCheck::InRange:
        break;
    }
    return hz;
}

bool isFrequencyUnit(std::string_view word)
{
    return !word.empty() && unitNamed(word).has_value();
}

bool readsAsFrequency(std::string_view word)
{
    const auto [number, unitText] = splitUnit(word);
    return isPlainDecimal(number) && unitNamed(unitText).has_value();
}

Checked<Duration> parseTime(std::string_view text)
{
    const auto [number, unitText] = splitUnit(text);
    const double scale = unitText == "ms" ? 1e3 : unitText == "s" ? 1e6 : 0;
    if (!isPlainDecimal(number) || scale == 0)
        return Refusal{"not a time: " + quoted(text) + " (a number followed by ms or s)"};
    const double microseconds = numericValue(number) * scale;
    // A day is longer than any pause a bench needs, and keeps the sums far from overflow.
    if (microseconds > 86'400e6)
        return Refusal{"time " + quoted(text) + " is longer than a day"};
    return Duration(std::llround(microseconds));
}

std::optional<Waveform> waveformNamed(std::string_view word)
{
    for (const Waveform waveform : {Waveform::Sine, Waveform::Square, Waveform::Triangle})
        if (sameLetters(word, waveformName(waveform)))
            return waveform;
    return std::nullopt;
}

Refusal unknownWaveform(std::string_view word)
{
    return Refusal{"unknown waveform " + quoted(word) + " (" + waveformName(Waveform::Sine) + ", " +
                   waveformName(Waveform::Square) + " or " + waveformName(Waveform::Triangle) +
                   ")"};
}

Checked<bool> parseOnOff(std::string_view text)
{
    if (sameLetters(text, "on"))
        return true;
    if (sameLetters(text, "off"))
        return false;
    return Refusal{"--attenuator takes on or off, not " + quoted(text)};
}

Checked<int> parseDuty(std::string_view text)
{
    return parseCount(text, "--duty", MinDutyPercent, MaxDutyPercent);
}

Checked<int> parseCount(std::string_view text, std::string_view what, int least, int most)
{
    if (const auto value = wholeNumber(text, least, most))
        return *value;
    return Refusal{std::string(what) + " takes a whole number from " + std::to_string(least) +
                   " to " + std::to_string(most) + ", not " + quoted(text)};
}

} // namespace varlo::send
