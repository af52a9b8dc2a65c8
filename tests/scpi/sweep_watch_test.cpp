// When the web page says that an oscilloscope sweeps the generator: steps reaching the line
// at given seconds, and what is asked at a later one.

#include "scpi/generator/sweep_watch.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <utility>
#include <vector>

using varlo::scpi::SweepWatch;

namespace {

struct SweepRow {
    const char* name;
    std::vector<std::pair<int, int>> steps; // seconds, whole hertz
    int askedAt = 0;
    std::optional<SweepWatch::Sweep> sweep;
};

void PrintTo(const SweepRow& row, std::ostream* out)
{
    *out << row.name;
}

class SweepWatchTest : public ::testing::TestWithParam<SweepRow> {};

TEST_P(SweepWatchTest, SweepsWhileStepsCome)
{
    const SweepRow& row = GetParam();
    const SweepWatch::Clock::time_point start{};
    SweepWatch watch;
    for (const auto& [second, hz] : row.steps)
        watch.stepSent(hz, 0, start + std::chrono::seconds(second));
    EXPECT_EQ(watch.sweepAt(start + std::chrono::seconds(row.askedAt)), row.sweep);
}

const SweepRow sweepRows[] = {
    {"NoStepNoSweep", {}, 0, std::nullopt},
    {"OneStepIsASweep", {{0, 10}}, 0, SweepWatch::Sweep{10, 0, 1}},
    {"StepsCountedLastFrequencyShown",
     {{0, 10}, {9, 20}, {18, 30}},
     28,
     SweepWatch::Sweep{30, 0, 3}},
    {"OverAWindowAfterTheLastStep", {{0, 10}, {9, 20}}, 20, std::nullopt},
    {"AStepAfterTheWindowBeginsAnother", {{0, 10}, {11, 20}}, 11, SweepWatch::Sweep{20, 0, 1}},
};

INSTANTIATE_TEST_SUITE_P(Steps, SweepWatchTest, ::testing::ValuesIn(sweepRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
