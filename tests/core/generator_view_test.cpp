// The panel through varlo-scpi: what follows the generator and what stays as the user left it.

#include "entry/keypad.h"
#include "entry/number_text.h"
#include "protocol/command_wording.h"
#include "protocol/enter.h"
#include "protocol/generator_view.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using varlo::GeneratorState;
using varlo::Waveform;

const GeneratorState SquareAttenuated{12500, 0, Waveform::Square, true, 60, true};
const GeneratorState TwoKilohertz{2000, 0, Waveform::Sine, false, 50, false};

// The panel as it opens through the server, then what the user does: digits keyed, . the
// point, C Clear, t typed "7.5", M the MHz unit, T triangle, F attenuator off, D duty 30, E an
// Enter the server takes, G the generator going to 2 kHz.
struct Panel {
    explicit Panel(const std::string& steps)
    {
        varlo::freqValueChanged(state, varlo::applyStartupValues(state));
        varlo::followGenerator(state, view, GeneratorState{});
        for (const char step : steps) {
            if (step >= '0' && step <= '9')
                varlo::freqValueChanged(state, varlo::pressDigit(state, step - '0'));
            else if (step == '.') {
                if (const auto shown = varlo::pressPoint(state))
                    varlo::freqValueChanged(state, *shown);
            } else if (step == 'C')
                varlo::freqValueChanged(state, varlo::pressClear(state));
            else if (step == 't')
                varlo::freqValueChanged(state, "7.5");
            else if (step == 'M')
                varlo::selectUnit(state, varlo::Unit::MHz);
            else if (step == 'T')
                varlo::selectWaveform(state, Waveform::Triangle);
            else if (step == 'F')
                varlo::selectAttenuator(state, false);
            else if (step == 'D')
                varlo::changeDuty(state, 30);
            else if (step == 'G')
                varlo::followGenerator(state, view, TwoKilohertz);
            else if (step == 'E')
                enter();
        }
    }

    void enter()
    {
        const varlo::EnterDecision decision = varlo::pressEnter(state);
        varlo::commandSent(state, decision.kind);
        if (decision.kind == varlo::CommandKind::Frequency)
            varlo::frequencySent(view, state);
    }

    // "12.5 -> 12.5 kHz, square, on, 60 %": the text put into the display ("=" for none),
    // then the settings.
    std::string follow(const GeneratorState& held)
    {
        const auto text = varlo::followGenerator(state, view, held);
        const char* unit = state.UnitExponent == varlo::Unit::MHz   ? "MHz"
                           : state.UnitExponent == varlo::Unit::KHz ? "kHz"
                                                                    : "Hz";
        return text.value_or("=") + " -> " + varlo::textForm(state.EntryValue) + " " + unit + ", " +
               varlo::waveformName(state.WaveCode) + ", " + (state.AttenuatorOn ? "on" : "off") +
               ", " + std::to_string(state.DutyPercent) + " %";
    }

    varlo::PanelState state;
    varlo::GeneratorView view;
};

struct FollowRow {
    const char* name;
    std::string steps;
    GeneratorState generator;
    std::string shown;
};

class Follow : public ::testing::TestWithParam<FollowRow> {};

TEST_P(Follow, TakesWhatTheUserLeftAlone)
{
    Panel panel(GetParam().steps);
    const varlo::PendingMarks marks = panel.state.RedMarks;
    EXPECT_EQ(panel.follow(GetParam().generator), GetParam().shown);
    for (std::size_t mark = 0; mark < varlo::MarkedCount; ++mark) {
        const auto control = static_cast<varlo::Marked>(mark);
        EXPECT_EQ(panel.state.RedMarks.isRed(control), marks.isRed(control)) << mark;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, Follow,
    ::testing::Values(
        FollowRow{"AllInTheLargestUnit", "", SquareAttenuated,
                  "12.5 -> 12.5 kHz, square, on, 60 %"},
        FollowRow{"Megahertz",
                  "",
                  {12'345'678, 90, Waveform::Sine, false, 50, false},
                  "12.3456789 -> 12.3456789 MHz, sine, off, 50 %"},
        FollowRow{"SameFrequencyLeavesTheDisplay",
                  "",
                  {1000, 0, Waveform::Triangle, true, 50, false},
                  "= -> 1000 Hz, triangle, on, 50 %"},
        FollowRow{"KeyedStays", "25", SquareAttenuated, "= -> 25 Hz, square, on, 60 %"},
        FollowRow{"TypedStays", "t", SquareAttenuated, "= -> 7.5 Hz, square, on, 60 %"},
        FollowRow{"OtherUnitStays", "M", SquareAttenuated, "= -> 1000 MHz, square, on, 60 %"},
        FollowRow{"RedWaveformStays", "T", SquareAttenuated,
                  "12.5 -> 12.5 kHz, triangle, on, 60 %"},
        FollowRow{"RedAttenuatorStays", "F", SquareAttenuated,
                  "12.5 -> 12.5 kHz, square, off, 60 %"},
        FollowRow{"RedDutyStays", "D", SquareAttenuated, "12.5 -> 12.5 kHz, square, on, 30 %"},
        FollowRow{"SentDutyFollows", "DE", SquareAttenuated, "12.5 -> 12.5 kHz, square, on, 60 %"},
        FollowRow{"SentFrequencyKeepsItsUnit",
                  "12500EG",
                  {12500, 0, Waveform::Sine, false, 50, false},
                  "12500 -> 12500 Hz, sine, off, 50 %"},
        FollowRow{"FollowedIsAFinishedValue", "G3", SquareAttenuated,
                  "= -> 3 kHz, square, on, 60 %"},
        // Seven keys that give the number shown leave nothing pending, yet their point must
        // not stay for the followed value: the next point starts a new entry.
        FollowRow{"FollowedEndsTheEntryUnderWay", "C1000.00G.", SquareAttenuated,
                  "= -> 0 kHz, square, on, 60 %"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
