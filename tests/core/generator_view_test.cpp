// The panel through varlo-scpi: what follows the generator and what stays as the user left it.

#include "entry/keypad.h"
#include "protocol/enter.h"
#include "protocol/generator_view.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace {

using varlo::GeneratorState;
using varlo::PanelState;
using varlo::Unit;
using varlo::Waveform;

// The panel as it opens through the server: the start-up values, then what the server says.
struct Panel {
    Panel()
    {
        varlo::freqValueChanged(state, varlo::applyStartupValues(state));
        varlo::followGenerator(state, view, GeneratorState{});
    }

    void keys(const std::string& keyed)
    {
        for (const char key : keyed) {
            const std::optional<std::string> text =
                key == '.' ? varlo::pressPoint(state) : varlo::pressDigit(state, key - '0');
            if (text)
                varlo::freqValueChanged(state, *text);
        }
    }

    // Enter, and the server has sent the command.
    void enter()
    {
        const varlo::EnterDecision decision = varlo::pressEnter(state);
        varlo::commandSent(state, decision.kind);
        if (decision.kind == varlo::CommandKind::Frequency)
            varlo::frequencySent(view, state);
    }

    PanelState state;
    varlo::GeneratorView view;
};

GeneratorState held(double wholeHz, int hundredths, Waveform waveform = Waveform::Sine,
                    bool attenuatorOn = false, int duty = 50)
{
    return GeneratorState{
        static_cast<std::int64_t>(wholeHz), hundredths, waveform, attenuatorOn, duty, duty != 50};
}

const GeneratorState SquareAttenuated = held(12500, 0, Waveform::Square, true, 60);

struct FollowRow {
    const char* name;
    std::function<void(Panel&)> user; // what the user did before the generator changed
    GeneratorState generator;
    std::optional<std::string> display; // the text put into FreqValue, if any
    double entryValue;
    Unit unit;
    Waveform waveform;
    bool attenuatorOn;
    int duty;
};

void PrintTo(const FollowRow& row, std::ostream* out)
{
    *out << row.name;
}

class Follow : public ::testing::TestWithParam<FollowRow> {};

TEST_P(Follow, TakesWhatTheUserLeftAlone)
{
    const FollowRow& row = GetParam();
    Panel panel;
    row.user(panel);
    const varlo::PendingMarks marks = panel.state.RedMarks;
    const bool dutyChanged = panel.state.DutyChanged;

    EXPECT_EQ(varlo::followGenerator(panel.state, panel.view, row.generator), row.display);
    EXPECT_EQ(panel.state.EntryValue, row.entryValue);
    EXPECT_EQ(panel.state.UnitExponent, row.unit);
    EXPECT_EQ(panel.state.WaveCode, row.waveform);
    EXPECT_EQ(panel.state.AttenuatorOn, row.attenuatorOn);
    EXPECT_EQ(panel.state.DutyPercent, row.duty);
    for (std::size_t mark = 0; mark < varlo::MarkedCount; ++mark)
        EXPECT_EQ(panel.state.RedMarks.isRed(static_cast<varlo::Marked>(mark)),
                  marks.isRed(static_cast<varlo::Marked>(mark)))
            << "mark " << mark;
    EXPECT_EQ(panel.state.DutyChanged, dutyChanged);
}

const auto nothing = [](Panel&) {};

INSTANTIATE_TEST_SUITE_P(
    Changes, Follow,
    ::testing::Values(
        FollowRow{"EverythingFollowsInTheLargestUnit", nothing, SquareAttenuated, "12.5", 12.5,
                  Unit::KHz, Waveform::Square, true, 60},
        FollowRow{"HertzBelowAKilohertz", nothing, held(999, 99), "999.99", 999.99, Unit::Hz,
                  Waveform::Sine, false, 50},
        FollowRow{"HundredthsInHertz", nothing, held(0, 5), "0.05", 0.05, Unit::Hz,
                  Waveform::Sine, false, 50},
        FollowRow{"Megahertz", nothing, held(12'345'678, 90), "12.3456789", 12.3456789, Unit::MHz,
                  Waveform::Sine, false, 50},
        FollowRow{"TheSameFrequencyLeavesTheDisplay", nothing, held(1000, 0, Waveform::Triangle),
                  std::nullopt, 1000, Unit::Hz, Waveform::Triangle, false, 50},
        FollowRow{"KeyedFrequencyStays", [](Panel& p) { p.keys("25"); }, SquareAttenuated,
                  std::nullopt, 25, Unit::Hz, Waveform::Square, true, 60},
        FollowRow{"TypedFrequencyStays",
                  [](Panel& p) { varlo::freqValueChanged(p.state, "7.5"); }, SquareAttenuated,
                  std::nullopt, 7.5, Unit::Hz, Waveform::Square, true, 60},
        FollowRow{"OtherUnitStays", [](Panel& p) { varlo::selectUnit(p.state, Unit::MHz); },
                  SquareAttenuated, std::nullopt, 1000, Unit::MHz, Waveform::Square, true, 60},
        FollowRow{"RedWaveformStays",
                  [](Panel& p) { varlo::selectWaveform(p.state, Waveform::Triangle); },
                  SquareAttenuated, "12.5", 12.5, Unit::KHz, Waveform::Triangle, true, 60},
        FollowRow{"RedAttenuatorStays", [](Panel& p) { varlo::selectAttenuator(p.state, false); },
                  SquareAttenuated, "12.5", 12.5, Unit::KHz, Waveform::Square, false, 60},
        FollowRow{"RedDutyStays", [](Panel& p) { varlo::changeDuty(p.state, 30); },
                  SquareAttenuated, "12.5", 12.5, Unit::KHz, Waveform::Square, true, 30},
        FollowRow{"SentDutyFollows",
                  [](Panel& p) {
                      varlo::changeDuty(p.state, 30);
                      p.enter();
                  },
                  SquareAttenuated, "12.5", 12.5, Unit::KHz, Waveform::Square, true, 60},
        FollowRow{"SentFrequencyKeepsTheUnitItWasSentIn",
                  [](Panel& p) {
                      p.keys("12500");
                      p.enter();
                      varlo::followGenerator(p.state, p.view, held(2000, 0));
                  },
                  held(12500, 0), "12500", 12500, Unit::Hz, Waveform::Sine, false, 50},
        FollowRow{"FollowedFrequencyIsAFinishedValue",
                  [](Panel& p) {
                      varlo::followGenerator(p.state, p.view, SquareAttenuated);
                      p.keys("3");
                  },
                  held(5000, 0), std::nullopt, 3, Unit::KHz, Waveform::Sine, false, 50}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
