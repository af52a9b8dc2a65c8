#include "protocol/enter.h"

#include "entry/keypad.h"
#include "entry/number_text.h"
#include "settings/settings.h"
#include "tests/start_up_command.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using Outcome = varlo::EnterDecision::Outcome;
using varlo::CommandKind;

varlo::PanelState startedUp()
{
    varlo::PanelState state;
    state.EntryValue = varlo::numericValue(varlo::applyStartupValues(state));
    return state;
}

// One press of Enter whose command the line takes.
varlo::EnterDecision sendOnce(varlo::PanelState& state)
{
    const varlo::EnterDecision decision = varlo::pressEnter(state);
    if (decision.outcome == Outcome::Send)
        varlo::commandSent(state, decision.kind);
    return decision;
}

TEST(Enter, AfterStartupSendsTheDisplayedThousandHertz)
{
    auto state = startedUp();
    const auto decision = sendOnce(state);
    EXPECT_EQ(decision.outcome, Outcome::Send);
    EXPECT_EQ(decision.kind, CommandKind::Frequency);
    EXPECT_EQ(decision.command, StartUpCommand);
    EXPECT_FALSE(state.SettingsChanged);
    EXPECT_EQ(state.KeyCount, 7);
}

TEST(Enter, SecondEnterRepeatsTheDisplayedEntry)
{
    auto state = startedUp();
    varlo::selectUnit(state, varlo::Unit::KHz);
    EXPECT_EQ(sendOnce(state).command, "0424F00008");
    const auto again = sendOnce(state);
    EXPECT_EQ(again.outcome, Outcome::Send);
    EXPECT_EQ(again.command, "0424F00008");
}

TEST(Enter, DutyGoesFirstThenFrequencyWithModeFour)
{
    auto state = startedUp();
    varlo::selectWaveform(state, varlo::Waveform::Square);
    varlo::changeDuty(state, 51);
    const auto first = sendOnce(state);
    EXPECT_EQ(first.kind, CommandKind::Duty);
    EXPECT_EQ(first.command, "3300000064");
    EXPECT_FALSE(state.DutyChanged);
    EXPECT_TRUE(state.SettingsChanged) << "the waveform change is still pending";
    EXPECT_TRUE(state.DutyAdjusted);
    const auto second = sendOnce(state);
    EXPECT_EQ(second.kind, CommandKind::Frequency);
    EXPECT_EQ(second.command, "8E30000044");
    EXPECT_EQ(sendOnce(state).command, "8E30000044") << "the duty mark stays in the mode";
}

struct RangeCase {
    const char* name;
    double entry;
    varlo::Unit unit;
    Outcome outcome;
};

class EnterRange : public ::testing::TestWithParam<RangeCase> {};

// Above the range and below zero nothing is sent and nothing of the state changes: the flags,
// the marks and the entry stay for the user to mend.
TEST_P(EnterRange, SendsOnlyFromZeroToOneHundredMegahertz)
{
    auto state = startedUp();
    varlo::selectWaveform(state, varlo::Waveform::Square);
    state.EntryValue = GetParam().entry;
    varlo::selectUnit(state, GetParam().unit);
    const varlo::PanelState before = state;
    const auto decision = sendOnce(state);
    EXPECT_EQ(decision.outcome, GetParam().outcome);
    if (GetParam().outcome != Outcome::Send) {
        EXPECT_TRUE(decision.command.empty());
        EXPECT_TRUE(state.SettingsChanged);
        EXPECT_TRUE(state.RedMarks.isRed(varlo::Marked::WaveSqu));
        EXPECT_EQ(state.KeyCount, before.KeyCount);
        EXPECT_EQ(state.EntryValue, before.EntryValue);
    }
}

const double Inf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Frequencies, EnterRange,
    ::testing::Values(
        RangeCase{"exactly_the_limit", 100, varlo::Unit::MHz, Outcome::Send},
        RangeCase{"just_above", 100.00001, varlo::Unit::MHz, Outcome::FrequencyTooLarge},
        RangeCase{"in_hertz", 100000001, varlo::Unit::Hz, Outcome::FrequencyTooLarge},
        RangeCase{"overflowing_double", 1e305, varlo::Unit::MHz, Outcome::FrequencyTooLarge},
        RangeCase{"infinite", Inf, varlo::Unit::Hz, Outcome::FrequencyTooLarge},
        RangeCase{"zero", 0, varlo::Unit::KHz, Outcome::Send},
        RangeCase{"negative_zero", -0.0, varlo::Unit::Hz, Outcome::Send},
        RangeCase{"below_a_hundredth", 0.004, varlo::Unit::Hz, Outcome::Send},
        RangeCase{"just_below_zero", -0.01, varlo::Unit::Hz, Outcome::FrequencyBelowZero},
        RangeCase{"negative_fraction", -12.75, varlo::Unit::KHz, Outcome::FrequencyBelowZero},
        RangeCase{"negative_infinite", -Inf, varlo::Unit::KHz, Outcome::FrequencyBelowZero},
        RangeCase{"large_negative", -1e300, varlo::Unit::MHz, Outcome::FrequencyBelowZero}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Enter, EndsTheEntrySoThePointStartsANewOne)
{
    auto state = startedUp();
    varlo::pressClear(state);
    varlo::pressDigit(state, 1);
    varlo::pressPoint(state);
    varlo::pressDigit(state, 2);
    sendOnce(state);
    EXPECT_EQ(state.KeyCount, 7);
    EXPECT_FALSE(state.PointEntered);
    EXPECT_EQ(state.DecimalPlaces, 0);
    EXPECT_EQ(varlo::pressPoint(state), std::optional<std::string>("0."));
}

// Enter's sequence for every front end: which commands, and where the duty-adjusted bit of
// the frequency command comes from.
TEST(EnterSequence, DutyFirstAndTheBitFromWhereTheCallerSays)
{
    using varlo::DutyBit;
    using varlo::Waveform;
    varlo::GeneratorState adjusted;
    adjusted.dutyPercent = 60;
    adjusted.dutyAdjusted = true;
    const varlo::WantedSettings square2k{2000, Waveform::Square, false, std::nullopt};
    const varlo::WantedSettings withDuty{2000, Waveform::Square, true, 30};
    const varlo::WantedSettings dutyAlone{std::nullopt, Waveform::Square, true, 30};
    const struct {
        const char* name;
        varlo::GeneratorState from;
        varlo::WantedSettings wanted;
        DutyBit bit;
        std::vector<std::string> commands;
        int dutyAfter;
    } rows[] = {
        {"TheGeneratorsBitKept", adjusted, square2k, DutyBit::AsGeneratorHolds, {"0D70000044"}, 60},
        {"TheGeneratorsBitSetByTheDuty",
         {},
         withDuty,
         DutyBit::AsGeneratorHolds,
         {"E100000074", "0D70000054"},
         30},
        {"AClearBitTakesTheDutyBack", adjusted, square2k, DutyBit::Clear, {"0D70000004"}, 50},
        {"ASetBitWithoutADuty", {}, square2k, DutyBit::Set, {"0D70000044"}, 50},
        {"NoFrequencyIsTheDutyAlone", {}, dutyAlone, DutyBit::Clear, {"E100000074"}, 30},
    };
    for (const auto& row : rows) {
        std::vector<std::string> commands;
        const auto sequence = varlo::enterSequence(row.from, row.wanted, row.bit);
        for (const varlo::SequencedCommand& each : sequence)
            commands.push_back(each.command);
        EXPECT_EQ(commands, row.commands) << row.name;
        EXPECT_EQ(sequence.back().after.dutyPercent, row.dutyAfter) << row.name;
    }
}

} // namespace
