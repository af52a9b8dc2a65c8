#include "protocol/command_encoding.h"
#include "tests/start_up_command.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using varlo::Unit;
using varlo::Waveform;

struct FrequencyCase {
    const char* name;
    double entry;
    Unit unit;
    Waveform waveform;
    bool attenuatorOn;
    bool dutyAdjusted;
    std::string command;
};

class FrequencyCommand : public ::testing::TestWithParam<FrequencyCase> {};

TEST_P(FrequencyCommand, EncodesThePanel)
{
    const auto& c = GetParam();
    const double hz = varlo::frequencyHz(c.entry, c.unit);
    EXPECT_EQ(varlo::frequencyCommand(hz, c.attenuatorOn, c.dutyAdjusted, c.waveform), c.command);
}

INSTANTIATE_TEST_SUITE_P(
    Panels, FrequencyCommand,
    ::testing::Values(
        FrequencyCase{"startup_defaults", 1000, Unit::Hz, Waveform::Sine, false, false,
                      StartUpCommand},
        FrequencyCase{"kilohertz_square_attenuated", 12.5, Unit::KHz, Waveform::Square, true, false,
                      "4D03000014"},
        FrequencyCase{"one_and_a_half_triangle", 1.5, Unit::Hz, Waveform::Triangle, false, false,
                      "1000002302"},
        FrequencyCase{"megahertz_attenuated_duty", 1, Unit::MHz, Waveform::Sine, true, true,
                      "0424F00058"},
        FrequencyCase{"five_hundredths", 0.05, Unit::Hz, Waveform::Sine, false, false,
                      "0000005008"},
        FrequencyCase{"sixteen_hundredths", 0.16, Unit::Hz, Waveform::Sine, false, false,
                      "0000000108"},
        FrequencyCase{"hundredths_as_displayed", 1.15, Unit::Hz, Waveform::Sine, false, false,
                      "100000F008"},
        FrequencyCase{"largest_six_digit_field", 16777215, Unit::Hz, Waveform::Sine, false, false,
                      "FFFFFF0008"},
        FrequencyCase{"smallest_seven_digit_field", 16777216, Unit::Hz, Waveform::Sine, false,
                      false, "00000010008"},
        FrequencyCase{"twenty_megahertz", 20, Unit::MHz, Waveform::Sine, false, false,
                      "00D21310008"},
        FrequencyCase{"top_of_range", 100, Unit::MHz, Waveform::Sine, false, false, "001E5F50008"},
        FrequencyCase{"negative", -12.5, Unit::Hz, Waveform::Square, false, false, "0000000004"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SplitCase {
    const char* name;
    double hz;
    std::int64_t whole;
    int hundredths;
};

class SplitFrequency : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitFrequency, TakesTheDigitsTheUserSees)
{
    const auto split = varlo::splitFrequency(GetParam().hz);
    EXPECT_EQ(split.wholeHz, GetParam().whole);
    EXPECT_EQ(split.hundredths, GetParam().hundredths);
}

INSTANTIATE_TEST_SUITE_P(Frequencies, SplitFrequency,
                         ::testing::Values(SplitCase{"one_fifteen", 1.15, 1, 15},
                                           SplitCase{"cents_56", 1234.56, 1234, 56},
                                           SplitCase{"cents_34", 12.34, 12, 34},
                                           SplitCase{"truncated_not_rounded", 12.349, 12, 34},
                                           SplitCase{"exact_half", 12.5, 12, 50},
                                           SplitCase{"below_a_hundredth", 0.001, 0, 0},
                                           SplitCase{"whole", 100000000, 100000000, 0},
                                           SplitCase{"fraction_at_top", 99999999.99, 99999999, 99},
                                           SplitCase{"negative", -3.75, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FieldCase {
    int hundredths;
    std::string field;
};

TEST(HundredthsField, WritesLowDigitFirst)
{
    for (const auto& [h, field] :
         {FieldCase{0, "00"}, FieldCase{5, "50"}, FieldCase{14, "E0"}, FieldCase{16, "01"},
          FieldCase{17, "11"}, FieldCase{50, "23"}, FieldCase{99, "36"}})
        EXPECT_EQ(varlo::hundredthsField(h), field) << h;
}

TEST(LowFirstHexField, PadsToSixAndNeverCuts)
{
    EXPECT_EQ(varlo::lowFirstHexField(1000), "8E3000");
    EXPECT_EQ(varlo::lowFirstHexField(50), "230000");
    EXPECT_EQ(varlo::lowFirstHexField(80), "050000");
    EXPECT_EQ(varlo::lowFirstHexField(0), "000000");
    EXPECT_EQ(varlo::lowFirstHexField(-5), "000000");
    EXPECT_EQ(varlo::lowFirstHexField(0x1000000), "0000001");
}

struct DutyCase {
    const char* name;
    int duty;
    bool attenuatorOn;
    Waveform waveform;
    std::string command;
};

class DutyCommand : public ::testing::TestWithParam<DutyCase> {};

TEST_P(DutyCommand, EncodesThePanel)
{
    const auto& c = GetParam();
    EXPECT_EQ(varlo::dutyCommand(c.duty, c.attenuatorOn, c.waveform), c.command);
}

INSTANTIATE_TEST_SUITE_P(
    Panels, DutyCommand,
    ::testing::Values(DutyCase{"half_square", 50, false, Waveform::Square, "2300000064"},
                      DutyCase{"half_square_attenuated", 50, true, Waveform::Square, "2300000074"},
                      DutyCase{"lowest", 20, false, Waveform::Square, "4100000064"},
                      DutyCase{"highest", 80, false, Waveform::Square, "0500000064"},
                      DutyCase{"three_quarters", 75, false, Waveform::Square, "B400000064"},
                      DutyCase{"sine_selected", 50, false, Waveform::Sine, "2300000068"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrequencyHz, ScalesByUnit)
{
    EXPECT_EQ(varlo::frequencyHz(1000, Unit::Hz), 1000);
    EXPECT_EQ(varlo::frequencyHz(1000, Unit::KHz), 1000000);
    EXPECT_EQ(varlo::frequencyHz(100.00001, Unit::MHz) > varlo::MaxFrequencyHz, true);
    EXPECT_EQ(varlo::frequencyHz(100, Unit::MHz), varlo::MaxFrequencyHz);
}

} // namespace
