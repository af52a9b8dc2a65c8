#include "serial/line_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

using namespace std::chrono_literals;
using varlo::LineQueue;

struct RateCase {
    const char* name;
    const char* settings;
    double charactersPerSecond;
    std::chrono::microseconds elevenCharacters; // a frequency command from 16,777,216 Hz on
};

class LineRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(LineRate, CountsStartDataParityAndStopBits)
{
    const auto settings = varlo::parseLineSettings(GetParam().settings);
    ASSERT_TRUE(settings);
    EXPECT_DOUBLE_EQ(varlo::charactersPerSecond(*settings), GetParam().charactersPerSecond);
    EXPECT_EQ(varlo::lineTime(*settings, 11), GetParam().elevenCharacters);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LineRate,
    ::testing::Values(RateCase{"panel_line", "9600 N 8 1", 960, 11458us},
                      RateCase{"parity_and_two_stops", "1200 E 7 2", 109.09090909090909, 100833us},
                      RateCase{"five_bits_and_a_half", "300 N 5 1.5", 40, 275000us}),
    [](const auto& info) { return std::string(info.param.name); });

// Ten-character commands handed to a 9600 baud line at the given moments.
struct BoundCase {
    const char* name;
    int commands;                   // handed over back to back at time 0
    std::chrono::milliseconds wait; // then this much later
    std::size_t reported;           // as the device counts its queue
    bool takesOneMore;
};

class QueueBound : public ::testing::TestWithParam<BoundCase> {};

TEST_P(QueueBound, RefusesWhatWouldQueueMoreThanASecond)
{
    const LineQueue::Clock::time_point start{};
    LineQueue queue;
    queue.restart(960, start);
    for (int i = 0; i < GetParam().commands; ++i) {
        ASSERT_TRUE(queue.takes(10, 0, start)) << i;
        queue.add(10, start);
    }
    EXPECT_EQ(queue.takes(10, GetParam().reported, start + GetParam().wait),
              GetParam().takesOneMore);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, QueueBound,
    ::testing::Values(BoundCase{"second_of_line_time_fills", 96, 0ms, 0, false},
                      BoundCase{"one_command_time_later", 96, 11ms, 0, true},
                      BoundCase{"device_counts_more_than_drained", 96, 500ms, 960, false},
                      BoundCase{"room_left_below_the_bound", 95, 0ms, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

// How long until the queue holds no more than a given count, after commands of ten
// characters handed to a 9600 baud line at time 0.
struct WaitCase {
    const char* name;
    int commands;
    std::chrono::microseconds later; // asked this much later
    double atMost;
    std::size_t reported;
    std::chrono::microseconds wait;
};

class QueueWait : public ::testing::TestWithParam<WaitCase> {};

TEST_P(QueueWait, LastsUntilTheLineHasCarriedTheExcess)
{
    const LineQueue::Clock::time_point start{};
    LineQueue queue;
    queue.restart(960, start);
    for (int i = 0; i < GetParam().commands; ++i)
        queue.add(10, start);
    const auto wait =
        queue.timeUntilAtMost(GetParam().atMost, GetParam().reported, start + GetParam().later);
    EXPECT_EQ(std::chrono::ceil<std::chrono::microseconds>(wait), GetParam().wait);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, QueueWait,
    ::testing::Values(WaitCase{"empty_line_at_once", 0, 0us, 0, 0, 0us},
                      WaitCase{"one_ahead_may_stay", 1, 0us, 10, 0, 0us},
                      WaitCase{"second_command_waits_for_the_first", 2, 0us, 10, 0, 10417us},
                      WaitCase{"partly_carried_already", 2, 5000us, 10, 0, 5417us},
                      WaitCase{"drained_whole", 3, 0us, 0, 0, 31250us},
                      WaitCase{"device_counts_more", 1, 0us, 0, 20, 20834us},
                      WaitCase{"carried_long_ago", 3, 1s, 0, 0, 0us}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QueueBound, CapacityIsASecondOfLineTimeOrOneWholeCommand)
{
    LineQueue queue;
    queue.restart(960, LineQueue::Clock::time_point{});
    EXPECT_DOUBLE_EQ(queue.capacity(), 960);
    queue.setRate(5); // 50 baud
    EXPECT_DOUBLE_EQ(queue.capacity(), LineQueue::MinQueuedCharacters);
}

TEST(QueueBound, SlowLineStillTakesOneWholeCommand)
{
    LineQueue queue;
    queue.restart(5, LineQueue::Clock::time_point{}); // 50 baud
    EXPECT_TRUE(queue.takes(11, 0, LineQueue::Clock::time_point{}));
}

} // namespace
