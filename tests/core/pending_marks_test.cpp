#include "protocol/enter.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using varlo::Marked;

// Steps: S Q T waveform sine, square, triangle; N F attenuator on, off; U a unit; D a duty
// step; E an Enter the line takes; X an Enter the line refuses.
void play(varlo::PanelState& state, const std::string& steps)
{
    for (const char step : steps) {
        switch (step) {
        case 'S':
            varlo::selectWaveform(state, varlo::Waveform::Sine);
            break;
        case 'Q':
            varlo::selectWaveform(state, varlo::Waveform::Square);
            break;
        case 'T':
            varlo::selectWaveform(state, varlo::Waveform::Triangle);
            break;
        case 'N':
            varlo::selectAttenuator(state, true);
            break;
        case 'F':
            varlo::selectAttenuator(state, false);
            break;
        case 'U':
            varlo::selectUnit(state, varlo::Unit::KHz);
            break;
        case 'D':
            varlo::changeDuty(state, state.DutyPercent + 1);
            break;
        case 'E':
            varlo::commandSent(state, varlo::pressEnter(state).kind);
            break;
        case 'X':
            (void)varlo::pressEnter(state);
            break;
        default:
            FAIL() << "no step " << step;
        }
    }
}

struct MarkCase {
    const char* name;
    std::string steps;
    std::set<Marked> red;
    bool settingsChanged;
    bool dutyChanged;
};

class MarkRule : public ::testing::TestWithParam<MarkCase> {};

TEST_P(MarkRule, RedMeansChangedAndNotTakenByTheLine)
{
    varlo::PanelState state;
    varlo::applyStartupValues(state);
    play(state, "E"); // the start-up values sent: nothing pending
    play(state, GetParam().steps);
    for (const Marked control : {Marked::WaveSin, Marked::WaveSqu, Marked::WaveTri, Marked::DBSOn,
                                 Marked::DBSOff, Marked::DutyValueLabel})
        EXPECT_EQ(state.RedMarks.isRed(control), GetParam().red.count(control) > 0)
            << static_cast<int>(control);
    EXPECT_EQ(state.SettingsChanged, GetParam().settingsChanged);
    EXPECT_EQ(state.DutyChanged, GetParam().dutyChanged);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, MarkRule,
    ::testing::Values(
        MarkCase{"nothing_after_a_send", "", {}, false, false},
        MarkCase{"square_marks_square", "Q", {Marked::WaveSqu}, true, false},
        MarkCase{"selected_sine_again_marks_sine", "S", {Marked::WaveSin}, true, false},
        MarkCase{"square_then_triangle_marks_both",
                 "QT",
                 {Marked::WaveSqu, Marked::WaveTri},
                 true,
                 false},
        MarkCase{"on_then_off_marks_both", "NF", {Marked::DBSOn, Marked::DBSOff}, true, false},
        MarkCase{"unit_marks_nothing", "U", {}, true, false},
        MarkCase{"duty_step_marks_its_label", "D", {Marked::DutyValueLabel}, false, true},
        MarkCase{"frequency_command_clears_every_option", "QSNFE", {}, false, false},
        MarkCase{"duty_command_keeps_option_marks",
                 "QNDE",
                 {Marked::WaveSqu, Marked::DBSOn},
                 true,
                 false},
        MarkCase{"second_send_clears_option_marks", "QDEE", {}, false, false},
        MarkCase{"frequency_command_keeps_a_later_duty_mark",
                 "QED",
                 {Marked::DutyValueLabel},
                 false,
                 true},
        MarkCase{"refused_commands_keep_every_mark",
                 "QNDXX",
                 {Marked::WaveSqu, Marked::DBSOn, Marked::DutyValueLabel},
                 true,
                 true},
        MarkCase{"refused_frequency_keeps_its_marks", "TX", {Marked::WaveTri}, true, false},
        MarkCase{"after_refusals_duty_goes_first",
                 "QNDXXE",
                 {Marked::WaveSqu, Marked::DBSOn},
                 true,
                 false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
