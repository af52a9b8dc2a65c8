#include "instrument/command_framer.h"
#include "tests/start_up_command.h"

#include "protocol/command_decoding.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using varlo::isValidCommand;
using varlo::instrument::CommandFramer;

namespace {

// Each burst is a list of reads that arrive close together; the line falls idle after each
// burst.
struct FramerRow {
    const char* name;
    std::vector<std::vector<std::string>> bursts;
    std::vector<std::string> expected;
};

// Rows show by name in test listings.
void PrintTo(const FramerRow& row, std::ostream* out)
{
    *out << row.name;
}

class CommandFramerTest : public ::testing::TestWithParam<FramerRow> {};

TEST_P(CommandFramerTest, CutsTheLineIntoCommands)
{
    CommandFramer framer;
    std::vector<std::string> pieces;
    for (const auto& burst : GetParam().bursts) {
        for (const std::string& read : burst) {
            const std::vector<std::string> early = framer.append(read);
            pieces.insert(pieces.end(), early.begin(), early.end());
        }
        const std::vector<std::string> framed = framer.endBurst();
        pieces.insert(pieces.end(), framed.begin(), framed.end());
    }
    EXPECT_EQ(pieces, GetParam().expected);
    EXPECT_FALSE(framer.burstPending());
}

std::vector<std::string> byteByByte(const std::string& text)
{
    std::vector<std::string> reads;
    for (const char c : text)
        reads.emplace_back(1, c);
    return reads;
}

const FramerRow framerRows[] = {
    {"OneCommandInOneRead", {{StartUpCommand}}, {StartUpCommand}},
    {"CommandSplitAcrossReads",
     {{StartUpCommand.substr(0, 5), StartUpCommand.substr(5)}},
     {StartUpCommand}},
    {"CommandByteByByte", {byteByByte("4D03000014")}, {"4D03000014"}},
    {"TwoCommandsInOneRead", {{StartUpCommand + "2300000064"}}, {StartUpCommand, "2300000064"}},
    {"TwoCommandsSplitInTheMiddleOfTheSecond",
     {{StartUpCommand + "23", "00000064"}},
     {StartUpCommand, "2300000064"}},
    {"ElevenCharacterCommand", {{"00D21310008"}}, {"00D21310008"}},
    // Its first ten characters decode too; all eleven cover more.
    {"ElevenCharacterCommandWhoseFirstTenDecode", {{"00D21310048"}}, {"00D21310048"}},
    {"TenThenElevenInOneRead", {{StartUpCommand + "00D21310008"}}, {StartUpCommand, "00D21310008"}},
    {"ElevenThenTenInOneRead", {{"00D213100082300000064"}}, {"00D21310008", "2300000064"}},
    // Ten-then-eleven would decode the first ten; only eleven-then-ten decodes both.
    {"TwentyOneBytesSplitWhereBothDecode",
     {{"00D213100482300000064"}},
     {"00D21310048", "2300000064"}},
    {"Garbage", {{"XYZ"}}, {"XYZ"}},
    {"GarbageBeforeCommand", {{"XYZ" + StartUpCommand}}, {"XYZ", StartUpCommand}},
    {"LineEndAfterCommand", {{StartUpCommand + "\r\n"}}, {StartUpCommand, "\r\n"}},
    {"WrongLength", {{"8E3000000"}}, {"8E3000000"}},
    {"TenCharactersThatDoNotDecode", {{"8E30000009"}}, {"8E30000009"}},
    {"CommandSplitByAnIdleGap", {{"8E300"}, {"00008"}}, {"8E300", "00008"}},
    {"CommandsInSeparateBursts",
     {{StartUpCommand}, {"B400000064"}},
     {StartUpCommand, "B400000064"}},
    {"IdleWithNothingReceived", {{}}, {}},
};

INSTANTIATE_TEST_SUITE_P(Bursts, CommandFramerTest, ::testing::ValuesIn(framerRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CommandFramerLimit, LineThatNeverFallsIdleIsSplitAtTheBurstLimit)
{
    CommandFramer framer;
    std::vector<std::string> early;
    std::size_t sent = 0;
    while (early.empty() && sent <= CommandFramer::MaxBurst) {
        early = framer.append("2300000064");
        sent += 10;
    }
    ASSERT_FALSE(early.empty());
    EXPECT_EQ(early.size(), sent / 10);
    for (const std::string& piece : early)
        EXPECT_EQ(piece, "2300000064");
    EXPECT_FALSE(framer.burstPending());
}

TEST(CommandFramerAmbiguity, TwentyOneByteRowOffersATemptingShorterSplit)
{
    // The row "TwentyOneBytesSplitWhereBothDecode" shows something only because its first ten
    // bytes decode on their own while the eleven after them do not.
    EXPECT_TRUE(isValidCommand("00D2131004"));
    EXPECT_FALSE(isValidCommand("82300000064"));
}

} // namespace
