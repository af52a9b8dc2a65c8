#include "protocol/command_decoding.h"
#include "tests/core/print_settings.h"
#include "tests/start_up_command.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

using varlo::decodeCommand;
using varlo::DecodedCommand;
using varlo::DecodeError;
using varlo::DutySetting;
using varlo::FrequencySetting;
using varlo::Waveform;

namespace {

struct DecoderRow {
    const char* name;
    std::string text;
    DecodedCommand expected;
};

// Rows show by name in test listings.
void PrintTo(const DecoderRow& row, std::ostream* out)
{
    *out << row.name;
}

FrequencySetting frequency(std::int64_t wholeHz, int hundredths, Waveform waveform,
                           bool attenuatorOn = false, bool dutyAdjusted = false)
{
    return {.wholeHz = wholeHz,
            .hundredths = hundredths,
            .attenuatorOn = attenuatorOn,
            .dutyAdjusted = dutyAdjusted,
            .waveform = waveform};
}

DutySetting duty(int percent, Waveform waveform, bool attenuatorOn = false)
{
    return {.dutyPercent = percent, .attenuatorOn = attenuatorOn, .waveform = waveform};
}

class CommandDecoderTest : public ::testing::TestWithParam<DecoderRow> {};

TEST_P(CommandDecoderTest, DecodesAsThePanelMeantIt)
{
    EXPECT_EQ(decodeCommand(GetParam().text), GetParam().expected) << GetParam().text;
}

const DecoderRow decoderRows[] = {
    // Frequency commands as the panel sends them.
    {"StartUpDefaults1000HzSine", StartUpCommand, frequency(1000, 0, Waveform::Sine)},
    {"TwelveAndAHalfKilohertzSquareAttenuated", "4D03000014",
     frequency(12500, 0, Waveform::Square, true)},
    {"OneAndAHalfHertzTriangle", "1000002302", frequency(1, 50, Waveform::Triangle)},
    {"OneMegahertzAttenuatedAfterDutyChange", "0424F00058",
     frequency(1'000'000, 0, Waveform::Sine, true, true)},
    {"FiveHundredthsLowDigitFirst", "0000005008", frequency(0, 5, Waveform::Sine)},
    {"SixteenHundredthsHighDigitSecond", "0000000108", frequency(0, 16, Waveform::Sine)},
    {"FourteenHundredths", "100000E008", frequency(1, 14, Waveform::Sine)},
    {"LargestSixDigitFrequency", "FFFFFF0008", frequency(16'777'215, 0, Waveform::Sine)},
    {"TwentyMegahertzElevenCharacters", "00D21310008", frequency(20'000'000, 0, Waveform::Sine)},
    {"HundredMegahertzElevenCharacters", "001E5F50008", frequency(100'000'000, 0, Waveform::Sine)},
    {"DutyAdjustedWithoutAttenuator", "8E30000048",
     frequency(1000, 0, Waveform::Sine, false, true)},
    // Duty commands.
    {"DutyFiftySquare", "2300000064", duty(50, Waveform::Square)},
    {"DutyFiftySquareAttenuated", "2300000074", duty(50, Waveform::Square, true)},
    {"DutyTwenty", "4100000064", duty(20, Waveform::Square)},
    {"DutyEighty", "0500000064", duty(80, Waveform::Square)},
    {"DutySeventyFive", "B400000064", duty(75, Waveform::Square)},
    {"DutyWhileSineSelected", "2300000068", duty(50, Waveform::Sine)},
    // Texts no panel sends.
    {"Empty", "", DecodeError::WrongLength},
    {"NineCharacters", "8E3000000", DecodeError::WrongLength},
    {"TwelveCharacters", StartUpCommand + "00", DecodeError::WrongLength},
    {"LowercaseHex", "8e30000008", DecodeError::NotHex},
    {"BlankInside", "8E3000 008", DecodeError::NotHex},
    {"LineEndAfterCommand", StartUpCommand + "\n", DecodeError::NotHex},
    {"WaveformDigitNine", "8E30000009", DecodeError::BadWaveformDigit},
    {"WaveformDigitZero", "8E30000000", DecodeError::BadWaveformDigit},
    {"ModeDigitTwo", "8E30000028", DecodeError::BadModeDigit},
    {"ModeDigitThree", "8E30000038", DecodeError::BadModeDigit},
    {"HundredthsAboveNinetyNine", "8E30000F08", DecodeError::BadHundredths},
    {"HundredthsHundred", "8E30004608", DecodeError::BadHundredths},
    {"ElevenCharactersBelowSevenDigits", "8E300000008", DecodeError::ElevenBelowSevenDigits},
    {"DutyCommandNeverElevenCharacters", "00D21310064", DecodeError::BadModeDigit},
};

INSTANTIATE_TEST_SUITE_P(Commands, CommandDecoderTest, ::testing::ValuesIn(decoderRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
