#include "protocol/generator_state.h"

#include "protocol/command_decoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using varlo::applied;
using varlo::decodeCommand;
using varlo::GeneratorState;
using varlo::Waveform;

namespace {

GeneratorState afterCommands(const std::vector<std::string>& texts)
{
    GeneratorState state;
    for (const std::string& text : texts)
        state = applied(state, decodeCommand(text));
    return state;
}

TEST(GeneratorState, DutyCommandKeepsTheFrequencyAndMarksTheDutyAdjusted)
{
    const GeneratorState state = afterCommands({"4D03000004", "B400000074"});
    EXPECT_EQ(state.wholeHz, 12500);
    EXPECT_EQ(state.dutyPercent, 75);
    EXPECT_TRUE(state.dutyAdjusted);
    EXPECT_TRUE(state.attenuatorOn);
    EXPECT_EQ(state.waveform, Waveform::Square);
}

TEST(GeneratorState, FrequencyCommandAfterDutyChangeKeepsTheDuty)
{
    const GeneratorState state = afterCommands({"B400000064", "1000002342"});
    EXPECT_EQ(state.wholeHz, 1);
    EXPECT_EQ(state.hundredths, 50);
    EXPECT_EQ(state.dutyPercent, 75);
    EXPECT_EQ(state.waveform, Waveform::Triangle);
}

TEST(GeneratorState, FrequencyCommandFromAFreshPanelPutsTheDutyBackToFifty)
{
    const GeneratorState state = afterCommands({"B400000064", "8E30000004"});
    EXPECT_EQ(state.dutyPercent, 50);
    EXPECT_FALSE(state.dutyAdjusted);
}

TEST(GeneratorState, UndecodableTextChangesNothing)
{
    const GeneratorState before = afterCommands({"4D03000014", "B400000074"});
    const GeneratorState after = applied(before, decodeCommand("4D0300001"));
    EXPECT_EQ(after.wholeHz, before.wholeHz);
    EXPECT_EQ(after.dutyPercent, before.dutyPercent);
    EXPECT_EQ(after.attenuatorOn, before.attenuatorOn);
    EXPECT_EQ(after.waveform, before.waveform);
}

} // namespace
