#include "instrument/plot_scale.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct PeriodRow {
    const char* name;
    std::int64_t wholeHz;
    int hundredths;
    std::optional<std::string> period;
};

class Period : public ::testing::TestWithParam<PeriodRow> {};

TEST_P(Period, InTheLargestUnitThatKeepsItAtOneOrMore)
{
    EXPECT_EQ(varlo::instrument::periodText(GetParam().wholeHz, GetParam().hundredths),
              GetParam().period);
}

INSTANTIATE_TEST_SUITE_P(Frequencies, Period,
                         ::testing::Values(PeriodRow{"SixSignificantDigits", 3, 0, "333.333 ms"},
                                           PeriodRow{"LeastStep", 0, 1, "100 s"},
                                           PeriodRow{"Highest", 100'000'000, 0, "10 ns"},
                                           PeriodRow{"RoundedUpToTheNextUnit", 1'000'000, 1,
                                                     "1 \u00b5s"},
                                           PeriodRow{"ZeroHasNone", 0, 0, std::nullopt}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
