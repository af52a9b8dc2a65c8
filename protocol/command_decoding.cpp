#include "protocol/command_decoding.h"

#include <optional>

namespace varlo {

namespace {

constexpr std::size_t CommandLength = 10;
constexpr std::size_t LongFrequencyLength = 11;

std::optional<int> hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return std::nullopt;
}

// Digits are written least significant first; every character has been checked to be hex.
std::int64_t lowFirstValue(std::string_view digits)
{
    std::int64_t value = 0;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it)
        value = value * 16 + *hexDigitValue(*it);
    return value;
}

std::optional<Waveform> waveformOf(char digit)
{
    switch (digit) {
    case '8':
        return Waveform::Sine;
    case '4':
        return Waveform::Square;
    case '2':
        return Waveform::Triangle;
    default:
        return std::nullopt;
    }
}

DecodedCommand decodeFrequency(std::string_view text, Waveform waveform)
{
    const std::size_t wholeDigits = text.size() - 4;
    if (wholeDigits == 7 && text[6] == '0')
        return DecodeError::ElevenBelowSevenDigits;
    const int hundredths = static_cast<int>(lowFirstValue(text.substr(wholeDigits, 2)));
    if (hundredths > 99)
        return DecodeError::BadHundredths;
    const char mode = text[wholeDigits + 2];
    if (mode != '0' && mode != '1' && mode != '4' && mode != '5')
        return DecodeError::BadModeDigit;
    const int modeValue = mode - '0';
    return FrequencySetting{.wholeHz = lowFirstValue(text.substr(0, wholeDigits)),
                            .hundredths = hundredths,
                            .attenuatorOn = (modeValue & 1) != 0,
                            .dutyAdjusted = (modeValue & 4) != 0,
                            .waveform = waveform};
}

} // namespace

DecodedCommand decodeCommand(std::string_view text)
{
    if (text.size() != CommandLength && text.size() != LongFrequencyLength)
        return DecodeError::WrongLength;
    for (const char c : text)
        if (!hexDigitValue(c))
            return DecodeError::NotHex;
    const std::optional<Waveform> waveform = waveformOf(text.back());
    if (!waveform)
        return DecodeError::BadWaveformDigit;

    // "006"/"007" where a frequency command has its hundredths and mode digit: 6 and 7 are no
    // mode digits, so the two kinds never overlap.
    const std::string_view marker = text.substr(6, 3);
    if (text.size() == CommandLength && (marker == "006" || marker == "007"))
        return DutySetting{.dutyPercent = static_cast<int>(lowFirstValue(text.substr(0, 6))),
                           .attenuatorOn = marker == "007",
                           .waveform = *waveform};
    return decodeFrequency(text, *waveform);
}

bool isValidCommand(std::string_view text)
{
    return !std::holds_alternative<DecodeError>(decodeCommand(text));
}

} // namespace varlo
