// What the panel and varlo-send say to varlo-scpi for a command, and how they read its answers.

#include "protocol/command_encoding.h"
#include "protocol/scpi_lines.h"
#include "tests/start_up_command.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace {

using varlo::Waveform;

struct SettingsRow {
    const char* name;
    std::string command;
    std::optional<std::string> line;
};

void PrintTo(const SettingsRow& row, std::ostream* out)
{
    *out << row.name;
}

class SettingsLine : public ::testing::TestWithParam<SettingsRow> {};

TEST_P(SettingsLine, SaysWhatTheCommandCarries)
{
    EXPECT_EQ(varlo::settingsLine(GetParam().command), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SettingsLine,
    ::testing::Values(
        SettingsRow{"StartUp", StartUpCommand, "FREQ 1000;:FUNC SIN;:OUTP:ATT 0"},
        SettingsRow{"SquareAttenuatedHundredths",
                    varlo::frequencyCommand(12.05, true, false, Waveform::Square),
                    "FREQ 12.05;:FUNC SQU;:OUTP:ATT 20"},
        SettingsRow{"DutyBitLeftToTheServer",
                    varlo::frequencyCommand(2000, false, true, Waveform::Triangle),
                    "FREQ 2000;:FUNC TRI;:OUTP:ATT 0"},
        SettingsRow{"ElevenCharacters", "001E5F50008", "FREQ 100000000;:FUNC SIN;:OUTP:ATT 0"},
        SettingsRow{"ZeroHertzAsTheDisplayShowsIt", "0000000008", "FREQ 0;:FUNC SIN;:OUTP:ATT 0"},
        SettingsRow{"DutyAfterShapeAndAttenuator", varlo::dutyCommand(60, true, Waveform::Square),
                    "FUNC SQU;:OUTP:ATT 20;:FUNC:SQU:DCYC 60"},
        SettingsRow{"NoCommand", "8E3000", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConfirmedLine, ClearsTheErrorsFirstAndReadsOneAfter)
{
    EXPECT_EQ(varlo::confirmedLine("FREQ 1000"), "*CLS;FREQ 1000;:SYST:ERR?");
    EXPECT_EQ(varlo::errorInAnswer("0,\"No error\""), std::nullopt);
    EXPECT_EQ(varlo::errorInAnswer("-222,\"Data out of range\""), "-222,\"Data out of range\"");
    EXPECT_EQ(varlo::errorInAnswer("-241,\"Hardware missing;COM3 (/dev/ttyUSB0) is gone\""),
              "-241,\"Hardware missing;COM3 (/dev/ttyUSB0) is gone\"");
}

struct HeldRow {
    const char* name;
    std::string answer;
    std::optional<varlo::GeneratorState> held;
};

void PrintTo(const HeldRow& row, std::ostream* out)
{
    *out << row.name;
}

class HeldSettings : public ::testing::TestWithParam<HeldRow> {};

TEST_P(HeldSettings, ReadsTheAnswer)
{
    EXPECT_EQ(varlo::readHeldSettings(GetParam().answer), GetParam().held);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, HeldSettings,
    ::testing::Values(HeldRow{"StartUp", "1000;SIN;0;50", varlo::GeneratorState{}},
                      HeldRow{"Everything", "12500.5;SQU;20;60",
                              varlo::GeneratorState{12500, 50, Waveform::Square, true, 60, true}},
                      HeldRow{"Hundredths", "0.05;TRI;0;50",
                              varlo::GeneratorState{0, 5, Waveform::Triangle, false, 50, false}},
                      HeldRow{
                          "HundredMegahertz", "100000000;SIN;0;80",
                          varlo::GeneratorState{100'000'000, 0, Waveform::Sine, false, 80, true}},
                      HeldRow{"ThreeDecimals", "1.005;SIN;0;50", std::nullopt},
                      HeldRow{"AboveTheRange", "100000001;SIN;0;50", std::nullopt},
                      HeldRow{"UnknownShape", "1000;RAMP;0;50", std::nullopt},
                      HeldRow{"OtherAttenuation", "1000;SIN;10;50", std::nullopt},
                      HeldRow{"DutyOutOfRange", "1000;SIN;0;90", std::nullopt},
                      HeldRow{"MissingAnswer", "1000;SIN;0", std::nullopt},
                      HeldRow{"Error", "-113,\"Undefined header\"", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WaveformMnemonic, ReadsBackWhatItWrites)
{
    for (const Waveform waveform : {Waveform::Sine, Waveform::Square, Waveform::Triangle})
        EXPECT_EQ(varlo::waveformOfMnemonic(varlo::waveformMnemonic(waveform)), waveform);
    EXPECT_EQ(varlo::waveformOfMnemonic("sin"), std::nullopt);
}

} // namespace
