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
};

class LineRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(LineRate, CountsStartDataParityAndStopBits)
{
    const auto settings = varlo::parseLineSettings(GetParam().settings);
    ASSERT_TRUE(settings);
    EXPECT_DOUBLE_EQ(varlo::charactersPerSecond(*settings), GetParam().charactersPerSecond);
}

INSTANTIATE_TEST_SUITE_P(Settings, LineRate,
                         ::testing::Values(RateCase{"panel_line", "9600 N 8 1", 960},
                                           RateCase{"parity_and_two_stops", "9600 E 7 2",
                                                    872.72727272727275},
                                           RateCase{"five_bits_and_a_half", "300 N 5 1.5", 40}),
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

TEST(QueueBound, SlowLineStillTakesOneWholeCommand)
{
    LineQueue queue;
    queue.restart(5, LineQueue::Clock::time_point{}); // 50 baud
    EXPECT_TRUE(queue.takes(11, 0, LineQueue::Clock::time_point{}));
}

} // namespace
