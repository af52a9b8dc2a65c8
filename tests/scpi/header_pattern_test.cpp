// Which received headers a header written as SCPI manuals write it names, and what an empty
// word reads as.

#include "scpi/language/header_pattern.h"
#include "scpi/language/scpi_parser.h"
#include "scpi/language/scpi_values.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

using namespace varlo::scpi;

namespace {

struct PatternRow {
    const char* name;
    const char* pattern;
    const char* header; // as a client sends it
    bool matches;
};

void PrintTo(const PatternRow& row, std::ostream* out)
{
    *out << row.name;
}

class HeaderPatternTest : public ::testing::TestWithParam<PatternRow> {};

TEST_P(HeaderPatternTest, NamesTheHeadersItShould)
{
    const PatternRow& row = GetParam();
    const auto units = parseLine(row.header);
    ASSERT_EQ(units.size(), 1u);
    const auto& header = std::get<ParsedCommand>(units.front()).header;
    EXPECT_EQ(HeaderPattern(row.pattern).matches(header), row.matches);
}

constexpr const char* Frequency = "[SOURce#:]FREQuency[:CW|:FIXed]";

const PatternRow patternRows[] = {
    {"ShortForm", Frequency, "FREQ", true},
    {"LongFormInAnyCase", Frequency, "frequency", true},
    {"NothingBetweenShortAndLong", Frequency, "FREQU", false},
    {"OptionalNodesGiven", Frequency, "SOURce:FREQ:CW", true},
    {"EitherForm", Frequency, "SOUR:FREQuency:FIX", true},
    {"SuffixOne", Frequency, "SOUR1:FREQ", true},
    {"NoOtherSuffix", Frequency, "SOUR2:FREQ", false},
    {"NoSuffixWhereNoneIsTaken", Frequency, "SOUR:FREQ1", false},
    {"ANodeTooMany", Frequency, "FREQ:CW:FIX", false},
    {"ARequiredNodeLeftOut", "SYSTem:ERRor[:NEXT]", "ERR", false},
    {"OptionalLastNode", "SYSTem:ERRor[:NEXT]", "SYST:ERR:NEXT", true},
    {"NotAnotherNode", "SYSTem:ERRor[:NEXT]", "SYST:ERR:COUN", false},
    {"CommonCommandInAnyCase", "*IDN", "*idn", true},
};

INSTANTIATE_TEST_SUITE_P(Headers, HeaderPatternTest, ::testing::ValuesIn(patternRows),
                         [](const auto& info) { return std::string(info.param.name); });

// The parser gives no empty word, but a word is read as what it is, not as its parser made it.
TEST(ScpiValues, AnEmptyWordIsNoNumber)
{
    EXPECT_EQ(std::get<Error>(readNumber(Parameter{})), errors::Syntax);
    EXPECT_EQ(std::get<Error>(readBoolean(Parameter{})), errors::Syntax);
}

} // namespace
