// What the panel and varlo-send say to varlo-scpi for a command, and how they read its answers.

#include "protocol/command_encoding.h"
#include "protocol/scpi_messages.h"
#include "tests/start_up_command.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

namespace {

using varlo::GeneratorState;
using varlo::Waveform;

TEST(ScpiLines, SayWhatTheCommandCarries)
{
    const std::pair<std::string, std::optional<std::string>> rows[] = {
        {StartUpCommand, "FREQ 1000;:FUNC SIN;:OUTP:ATT 0;:FUNC:SQU:DCYC:ADJ 0"},
        {varlo::frequencyCommand(12.05, true, true, Waveform::Square),
         "FREQ 12.05;:FUNC SQU;:OUTP:ATT 20;:FUNC:SQU:DCYC:ADJ 1"},
        {"001E5F50002", "FREQ 100000000;:FUNC TRI;:OUTP:ATT 0;:FUNC:SQU:DCYC:ADJ 0"},
        {"0000000008", "FREQ 0;:FUNC SIN;:OUTP:ATT 0;:FUNC:SQU:DCYC:ADJ 0"},
        {varlo::dutyCommand(60, true, Waveform::Square),
         "FUNC SQU;:OUTP:ATT 20;:FUNC:SQU:DCYC:ALON 60"},
        {"8E3000", std::nullopt},
    };
    for (const auto& [command, line] : rows)
        EXPECT_EQ(varlo::settingsMessage(command), line) << command;
    EXPECT_EQ(varlo::confirmedMessage("FREQ 1000"), "*CLS;SYST:DEAD 800 MS;:FREQ 1000;:SYST:ERR?");
    EXPECT_EQ(varlo::errorInAnswer("0,\"No error\""), std::nullopt);
    EXPECT_EQ(varlo::errorInAnswer("-222,\"Data out of range\""), "-222,\"Data out of range\"");
}

TEST(ScpiLines, ReadWhatTheGeneratorHolds)
{
    const std::pair<std::string, std::optional<GeneratorState>> rows[] = {
        {"1000;SIN;0;50", GeneratorState{}},
        {"12500.5;SQU;20;60", GeneratorState{12500, 50, Waveform::Square, true, 60, true}},
        {"0.05;TRI;0;50", GeneratorState{0, 5, Waveform::Triangle, false, 50, false}},
        {"1.005;SIN;0;50", std::nullopt},
        {"100000001;SIN;0;50", std::nullopt},
        {"1000;RAMP;0;50", std::nullopt},
        {"1000;SIN;10;50", std::nullopt},
        {"1000;SIN;0;90", std::nullopt},
        {"1000;SIN;0", std::nullopt},
    };
    for (const auto& [answer, held] : rows)
        EXPECT_EQ(varlo::readHeldSettings(answer), held) << answer;
}

} // namespace
