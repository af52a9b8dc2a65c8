#include "protocol/command_encoding.h"

#include "entry/decimal_digits.h"

#include <cmath>
#include <string_view>

namespace varlo {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
constexpr std::size_t FieldWidth = 6;

} // namespace

std::string lowFirstHexField(std::int64_t number)
{
    std::string field;
    while (number > 0) {
        field.push_back(HexDigits[number % 16]);
        number /= 16;
    }
    if (field.size() < FieldWidth)
        field.append(FieldWidth - field.size(), '0');
    return field;
}

std::string hundredthsField(int hundredths)
{
    return {HexDigits[hundredths % 16], HexDigits[hundredths / 16 % 16]};
}

char modeDigit(bool attenuatorOn, bool dutyAdjusted)
{
    return HexDigits[(attenuatorOn ? 1 : 0) + (dutyAdjusted ? 4 : 0)];
}

char waveformDigit(Waveform waveform)
{
    return HexDigits[static_cast<int>(waveform) & 0xF];
}

double frequencyHz(double entryValue, Unit unit)
{
    switch (unit) {
    case Unit::KHz:
        return entryValue * 1000;
    case Unit::MHz:
        return entryValue * 1000000;
    case Unit::Hz:
        break;
    }
    return entryValue;
}

SplitFrequency splitFrequency(double hz)
{
    // Not a positive number of hertz: nothing to send but zeros. Far beyond the range
    // check there is nothing to split either; the bound keeps the sum within 64 bits.
    if (!(hz > 0) || !(hz < 1e18))
        return {};
    // The frequency as the user reads it: 15 significant decimal digits, so that 1.15 Hz
    // gives 15 hundredths and not the 14 of its binary value 1.149999...
    const DecimalDigits decimal = significantDigits(hz, 15);
    const std::string& digits = decimal.digits;
    const int exponent = decimal.exponent;

    // digits[i] stands for 10^(exponent - i).
    auto digitAt = [&](int power) -> int {
        const int index = exponent - power;
        if (index < 0 || index >= static_cast<int>(digits.size()))
            return 0;
        return digits[static_cast<std::size_t>(index)] - '0';
    };
    SplitFrequency split;
    for (int power = exponent; power >= 0; --power)
        split.wholeHz = split.wholeHz * 10 + digitAt(power);
    split.hundredths = digitAt(-1) * 10 + digitAt(-2);
    return split;
}

std::string frequencyCommand(double hz, bool attenuatorOn, bool dutyAdjusted, Waveform waveform)
{
    const SplitFrequency split = splitFrequency(hz);
    std::string command = lowFirstHexField(split.wholeHz);
    command += hundredthsField(split.hundredths);
    command += modeDigit(attenuatorOn, dutyAdjusted);
    command += waveformDigit(waveform);
    return command;
}

std::string dutyCommand(int dutyPercent, bool attenuatorOn, Waveform waveform)
{
    std::string command = lowFirstHexField(dutyPercent);
    command += attenuatorOn ? "007" : "006";
    command += waveformDigit(waveform);
    return command;
}

} // namespace varlo
