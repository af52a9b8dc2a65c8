#include "send/send_lines.h"
#include "send/send_plan.h"
#include "send/send_values.h"
#include "tests/start_up_command.h"

#include "protocol/command_encoding.h"
#include "protocol/command_wording.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::chrono_literals;
using varlo::Refusal;
using varlo::send::Duration;

// A FREQUENCY word and the sine command it gives, or the start of its refusal.
struct FrequencyRow {
    const char* name;
    const char* text;
    std::string commandOrRefusal;
};

class FrequencyWord : public ::testing::TestWithParam<FrequencyRow> {};

TEST_P(FrequencyWord, GivesThePanelsCommandOrIsRefused)
{
    const auto& row = GetParam();
    const auto hz = varlo::send::parseFrequency(row.text);
    if (const Refusal* refusal = varlo::refusalOf(hz))
        EXPECT_EQ(refusal->message, row.commandOrRefusal);
    else
        EXPECT_EQ(
            varlo::frequencyCommand(std::get<double>(hz), false, false, varlo::Waveform::Sine),
            row.commandOrRefusal);
}

INSTANTIATE_TEST_SUITE_P(
    Words, FrequencyWord,
    ::testing::Values(
        FrequencyRow{"PlainHertz", "1000", StartUpCommand},
        FrequencyRow{"Kilohertz", "12.5kHz", "4D03000008"},
        FrequencyRow{"Megahertz", "2.5MHz", "0A52620008"},
        FrequencyRow{"Hundredths", "0.05Hz", "0000005008"},
        FrequencyRow{"HundredthsAsThePanelTakesThem", "12.34Hz", "C000002208"},
        FrequencyRow{"UnitInEitherCase", "12.5KHZ", "4D03000008"},
        FrequencyRow{"PointFirst", ".5Hz", "0000002308"},
        FrequencyRow{"HundredMegahertzPasses", "100MHz", "001E5F50008"},
        FrequencyRow{"AboveHundredMegahertz", "100.00001MHz",
                     "frequency \"100.00001MHz\" is above 100 MHz"},
        FrequencyRow{"Zero", "0",
                     "frequency \"0\" is not above 0 Hz in hundredths (the least is "
                     "0.01 Hz)"},
        FrequencyRow{"BelowOneHundredth", "0.004Hz",
                     "frequency \"0.004Hz\" is not above 0 Hz in hundredths (the least is "
                     "0.01 Hz)"},
        FrequencyRow{"Negative", "-5",
                     "not a frequency: \"-5\" (a number with \".\" as the "
                     "decimal mark and Hz, kHz or MHz)"},
        FrequencyRow{"Exponent", "1e3",
                     "not a frequency: \"1e3\" (a number with \".\" as the "
                     "decimal mark and Hz, kHz or MHz)"},
        FrequencyRow{"CommaDecimalMark", "1,5kHz",
                     "not a frequency: \"1,5kHz\" (a number with \".\" as the decimal mark and "
                     "Hz, kHz or MHz)"},
        FrequencyRow{"TwoPoints", "1.2.3",
                     "not a frequency: \"1.2.3\" (a number with \".\" as "
                     "the decimal mark and Hz, kHz or MHz)"},
        FrequencyRow{"UnknownUnit", "1GHz",
                     "not a frequency: \"1GHz\" (a number with \".\" as "
                     "the decimal mark and Hz, kHz or MHz)"},
        FrequencyRow{"UnitAlone", "kHz",
                     "not a frequency: \"kHz\" (a number with \".\" as the "
                     "decimal mark and Hz, kHz or MHz)"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TimeRow {
    const char* text;
    Duration time; // negative: refused
};

TEST(TimeWord, ReadsMillisecondsAndSecondsAndRefusesTheRest)
{
    for (const auto& [text, time] :
         {TimeRow{"50ms", 50ms}, TimeRow{"1.5s", 1500ms}, TimeRow{"0ms", 0ms},
          TimeRow{"0.25ms", 250us}, TimeRow{"50", -1us}, TimeRow{"5min", -1us},
          TimeRow{"-1s", -1us}, TimeRow{"ms", -1us}, TimeRow{"2d", -1us},
          TimeRow{"86401s", -1us}}) {
        const auto parsed = varlo::send::parseTime(text);
        if (time < 0us)
            EXPECT_NE(varlo::refusalOf(parsed), nullptr) << text;
        else
            EXPECT_EQ(std::get<Duration>(parsed), time) << text;
    }
}

TEST(CountWord, TakesWholeNumbersInRangeOnly)
{
    EXPECT_EQ(std::get<int>(varlo::send::parseDuty("20")), 20);
    EXPECT_EQ(std::get<int>(varlo::send::parseDuty("80")), 80);
    for (const char* bad : {"19", "81", "50.5", "", "5O", "+50", "-50", "4294967346"})
        EXPECT_EQ(std::get<Refusal>(varlo::send::parseDuty(bad)).message,
                  std::string("--duty takes a whole number from 20 to 80, not \"") + bad + "\"");
}

TEST(LineTime, CountsStartDataParityAndStopBits)
{
    EXPECT_EQ(varlo::send::lineTime({}, 10), 10417us); // 9600 8N1: ten bits a character
    varlo::LineSettings sevenEvenTwo;
    sevenEvenTwo.dataBits = 7;
    sevenEvenTwo.parity = varlo::LineSettings::Parity::Even;
    sevenEvenTwo.stopBits = varlo::LineSettings::StopBits::Two;
    sevenEvenTwo.baud = 1200;
    EXPECT_EQ(varlo::send::lineTime(sevenEvenTwo, 11), 100833us);
}

TEST(OutputLines, CommandWithTheInstrumentsWordingAndProgress)
{
    EXPECT_EQ(varlo::commandLine("4D03000004"),
              "4D03000004  frequency 12500.00 Hz, square, attenuator off, duty not adjusted");
    EXPECT_EQ(varlo::send::progressText(12, 50, "1.2 kHz", 3840ms),
              "step 12 of 50, 1.2 kHz, 3.8 s left");
}

} // namespace
