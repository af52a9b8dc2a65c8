#include "protocol/command_wording.h"

#include <cstdio>
#include <variant>

namespace varlo {

namespace {

std::string onOff(bool on)
{
    return on ? "on" : "off";
}

template <class... T> struct Overloaded : T... {
    using T::operator()...;
};
// Spelled out for compilers without deduction for aggregates (clang before 17).
template <class... T> Overloaded(T...) -> Overloaded<T...>;

std::string twoDigits(int value)
{
    char text[4];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

// Hundredths of a hertz in units of `hertz` hertz, without trailing zeros. Worked in whole
// hundredths, so no digit is lost to binary fractions.
std::string inUnits(std::int64_t hundredths, std::int64_t hertz, int fractionDigits)
{
    const std::int64_t per = hertz * 100;
    std::string fraction = std::to_string(hundredths % per);
    fraction.insert(0, static_cast<std::size_t>(fractionDigits) - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    std::string text = std::to_string(hundredths / per);
    if (!fraction.empty())
        text += "." + fraction;
    return text;
}

} // namespace

std::string waveformName(Waveform waveform)
{
    switch (waveform) {
    case Waveform::Sine:
        return "sine";
    case Waveform::Square:
        return "square";
    case Waveform::Triangle:
        return "triangle";
    }
    return "?";
}

std::string decodeErrorText(DecodeError error)
{
    switch (error) {
    case DecodeError::WrongLength:
        return "wrong length";
    case DecodeError::NotHex:
        return "not uppercase hex";
    case DecodeError::BadWaveformDigit:
        return "bad waveform digit";
    case DecodeError::BadModeDigit:
        return "bad mode digit";
    case DecodeError::BadHundredths:
        return "hundredths above 99";
    case DecodeError::ElevenBelowSevenDigits:
        return "eleven characters below 16777216 Hz";
    }
    return "?";
}

std::string quotedBytes(std::string_view bytes)
{
    std::string quoted = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte > 0x7E) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

std::string commandLine(std::string_view command)
{
    return std::string(command) + "  " + describeCommand(command);
}

std::string describeDecoded(const DecodedCommand& command, std::string_view text)
{
    return std::visit(
        Overloaded{
            [](const FrequencySetting& f) {
                return "frequency " + std::to_string(f.wholeHz) + "." + twoDigits(f.hundredths) +
                       " Hz, " + waveformName(f.waveform) + ", attenuator " +
                       onOff(f.attenuatorOn) +
                       (f.dutyAdjusted ? ", duty adjusted" : ", duty not adjusted");
            },
            [](const DutySetting& d) {
                return "duty " + std::to_string(d.dutyPercent) + " %, " + waveformName(d.waveform) +
                       ", attenuator " + onOff(d.attenuatorOn);
            },
            [text](DecodeError e) {
                return "undecodable " + quotedBytes(text) + " (" + decodeErrorText(e) + ")";
            },
        },
        command);
}

std::string describeCommand(std::string_view text)
{
    return describeDecoded(decodeCommand(text), text);
}

std::string frequencyWithUnit(std::int64_t wholeHz, int hundredths)
{
    const Unit unit = largestUnit(wholeHz);
    const char* name = unit == Unit::MHz ? "MHz" : unit == Unit::KHz ? "kHz" : "Hz";
    return numberInUnit(wholeHz, hundredths, unit) + " " + name;
}

Unit largestUnit(std::int64_t wholeHz)
{
    return wholeHz >= 1'000'000 ? Unit::MHz : wholeHz >= 1'000 ? Unit::KHz : Unit::Hz;
}

std::string numberInUnit(std::int64_t wholeHz, int hundredths, Unit unit)
{
    const int exponent = static_cast<int>(unit);
    std::int64_t hertz = 1;
    for (int power = 0; power < exponent; ++power)
        hertz *= 10;
    return inUnits(wholeHz * 100 + hundredths, hertz, exponent + 2);
}

std::string plainHertz(std::int64_t wholeHz, int hundredths)
{
    return numberInUnit(wholeHz, hundredths, Unit::Hz);
}

} // namespace varlo
