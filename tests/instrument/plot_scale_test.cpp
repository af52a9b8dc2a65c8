#include "instrument/plot_scale.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace {

struct PeriodRow {
    const char* name;
    std::int64_t wholeHz;
    int hundredths;
    std::optional<std::string> period;
};

// Rows show by name in test listings.
void PrintTo(const PeriodRow& row, std::ostream* out)
{
    *out << row.name;
}

class Period : public ::testing::TestWithParam<PeriodRow> {};

TEST_P(Period, InTheLargestUnitThatKeepsItAtOneOrMore)
{
    EXPECT_EQ(varlo::instrument::periodText(GetParam().wholeHz, GetParam().hundredths),
              GetParam().period);
}

INSTANTIATE_TEST_SUITE_P(Frequencies, Period,
                         ::testing::Values(PeriodRow{"StartUp", 1000, 0, "1 ms"},
                                           PeriodRow{"Kilohertz", 12500, 0, "80 \u00b5s"},
                                           PeriodRow{"SixSignificantDigits", 3, 0, "333.333 ms"},
                                           PeriodRow{"LeastStep", 0, 1, "100 s"},
                                           PeriodRow{"Highest", 100'000'000, 0, "10 ns"},
                                           PeriodRow{"RoundedUpToTheNextUnit", 1'000'000, 1,
                                                     "1 \u00b5s"},
                                           PeriodRow{"ZeroHasNone", 0, 0, std::nullopt}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PlotScale, NamesTheFrequencyAndItsPeriod)
{
    varlo::GeneratorState state;
    state.wholeHz = 12500;
    EXPECT_EQ(varlo::instrument::plotScaleText(state), "12.5 kHz, period 80 \u00b5s");
    state.wholeHz = 0;
    EXPECT_EQ(varlo::instrument::plotScaleText(state), "0 Hz, no period");
}

} // namespace
