#include "protocol/command_wording.h"
#include "tests/start_up_command.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

using varlo::describeCommand;
using varlo::frequencyWithUnit;

namespace {

// The lines of --headless; tools and tests read them, so they are fixed here word for word.
struct LineRow {
    const char* name;
    std::string text;
    std::string line;
};

// Rows show by name in test listings.
void PrintTo(const LineRow& row, std::ostream* out)
{
    *out << row.name;
}

class CommandLineTest : public ::testing::TestWithParam<LineRow> {};

TEST_P(CommandLineTest, DescribesTheCommandInOneLine)
{
    EXPECT_EQ(describeCommand(GetParam().text), GetParam().line);
}

const LineRow lineRows[] = {
    {"StartUpFrequency", StartUpCommand,
     "frequency 1000.00 Hz, sine, attenuator off, duty not adjusted"},
    {"AttenuatedAfterDutyChange", "0424F00058",
     "frequency 1000000.00 Hz, sine, attenuator on, duty adjusted"},
    {"HundredthsOfATriangle", "1000002302",
     "frequency 1.50 Hz, triangle, attenuator off, duty not adjusted"},
    {"SingleDigitHundredths", "0000005008",
     "frequency 0.05 Hz, sine, attenuator off, duty not adjusted"},
    {"ElevenCharacters", "001E5F50008",
     "frequency 100000000.00 Hz, sine, attenuator off, duty not adjusted"},
    {"DutyFiftyOne", "3300000064", "duty 51 %, square, attenuator off"},
    {"DutyAttenuated", "2300000074", "duty 50 %, square, attenuator on"},
    {"DutyWhileTriangle", "2300000062", "duty 50 %, triangle, attenuator off"},
    {"ShortGarbage", "XYZ", "undecodable \"XYZ\" (wrong length)"},
    {"ControlBytesEscaped", "8E3000\r\n", "undecodable \"8E3000\\x0D\\x0A\" (wrong length)"},
    {"QuoteAndBackslashEscaped", "\"\\", "undecodable \"\\\"\\\\\" (wrong length)"},
    {"HighByteEscaped", "\xFF", "undecodable \"\\xFF\" (wrong length)"},
    {"Lowercase", "8e30000008", "undecodable \"8e30000008\" (not uppercase hex)"},
    {"WaveformDigit", "8E30000009", "undecodable \"8E30000009\" (bad waveform digit)"},
    {"ModeDigit", "8E30000038", "undecodable \"8E30000038\" (bad mode digit)"},
    {"Hundredths", "8E30000F08", "undecodable \"8E30000F08\" (hundredths above 99)"},
    {"ShortElevenCharacters", "8E300000008",
     "undecodable \"8E300000008\" (eleven characters below 16777216 Hz)"},
};

INSTANTIATE_TEST_SUITE_P(Lines, CommandLineTest, ::testing::ValuesIn(lineRows),
                         [](const auto& info) { return std::string(info.param.name); });

struct UnitRow {
    const char* name;
    std::int64_t wholeHz;
    int hundredths;
    std::string text;
};

// Rows show by name in test listings.
void PrintTo(const UnitRow& row, std::ostream* out)
{
    *out << row.name;
}

class FrequencyWithUnitTest : public ::testing::TestWithParam<UnitRow> {};

TEST_P(FrequencyWithUnitTest, UsesTheLargestUnitReachedWithoutTrailingZeros)
{
    EXPECT_EQ(frequencyWithUnit(GetParam().wholeHz, GetParam().hundredths), GetParam().text);
}

const UnitRow unitRows[] = {
    {"Zero", 0, 0, "0 Hz"},
    {"Hundredths", 0, 5, "0.05 Hz"},
    {"HalfHertz", 1, 50, "1.5 Hz"},
    {"BelowAKilohertz", 999, 99, "999.99 Hz"},
    {"OneKilohertz", 1000, 0, "1 kHz"},
    {"KilohertzWithFraction", 12500, 0, "12.5 kHz"},
    {"KilohertzKeepsHundredths", 1000, 1, "1.00001 kHz"},
    {"OneMegahertz", 1'000'000, 0, "1 MHz"},
    {"MegahertzKeepsEveryDigit", 1'234'567, 89, "1.23456789 MHz"},
    {"LargestSixDigitFrequency", 16'777'215, 0, "16.777215 MHz"},
    {"HundredMegahertz", 100'000'000, 0, "100 MHz"},
};

INSTANTIATE_TEST_SUITE_P(Frequencies, FrequencyWithUnitTest, ::testing::ValuesIn(unitRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
