#include "entry/keypad.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Plays keys as the window does: each key's text goes into the display, and the display's
// change updates the entry value.
struct Keypad {
    varlo::PanelState state;
    std::string display;

    void put(const std::string& text)
    {
        display = text;
        varlo::freqValueChanged(state, display);
    }
    void startUp() { put(varlo::applyStartupValues(state)); }
    void key(char k)
    {
        if (k == 'C')
            put(varlo::pressClear(state));
        else if (k == '.') {
            if (auto text = varlo::pressPoint(state))
                put(*text);
        } else if (k == 'T') {
            // Enter, as far as the entry is concerned.
            state.KeyCount = 7;
            state.PointEntered = false;
            state.DecimalPlaces = 0;
        } else
            put(varlo::pressDigit(state, k - '0'));
    }
    std::vector<std::string> play(const std::string& keys)
    {
        std::vector<std::string> shown;
        for (char k : keys) {
            key(k);
            shown.push_back(display);
        }
        return shown;
    }
};

struct Sequence {
    const char* name;
    std::string keys; // digits, '.', 'C' for Clear, 'T' for an Enter
    std::vector<std::string> shown;
    double value;
};

class KeySequence : public ::testing::TestWithParam<Sequence> {};

TEST_P(KeySequence, ShowsEachKeyAndEndsOnTheValue)
{
    Keypad pad;
    pad.startUp();
    EXPECT_EQ(pad.play(GetParam().keys), GetParam().shown);
    EXPECT_DOUBLE_EQ(pad.state.EntryValue, GetParam().value);
}

using S = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Worked, KeySequence,
    ::testing::Values(
        Sequence{"twelve_and_a_half_from_startup", "12.5", S{"1", "12", "12.", "12.5"}, 12.5},
        Sequence{"first_key_five_replaces_startup_value", "5", S{"5"}, 5},
        Sequence{"five_one_from_startup", "51", S{"5", "51"}, 51},
        Sequence{"first_point_from_startup", ".3", S{"0.", "0.3"}, 0.3},
        Sequence{"seven_nines_from_startup", "9999999",
                 S{"9", "99", "999", "9999", "99999", "999999", "9999999"}, 9999999},
        Sequence{"eighth_key_after_fraction_restarts", "C1.234567",
                 S{"", "1", "1.", "1.2", "1.23", "1.234", "1.2345", "1.23456", "7"}, 7},
        Sequence{"eighth_digit_restarts", "C12345678",
                 S{"", "1", "12", "123", "1234", "12345", "123456", "1234567", "8"}, 8},
        Sequence{"leading_zero_then_five", "C051", S{"", "0", "5", "051"}, 51},
        Sequence{"point_seven_two", "C.72", S{"", ".", "0.7", ".72"}, 0.72},
        Sequence{"point_zero_seven", "C.07", S{"", ".", ".0", "0.07"}, 0.07},
        Sequence{"second_point_ignored", "C1..5", S{"", "1", "1.", "1.", "1.5"}, 1.5},
        Sequence{"zero_then_four", "C04", S{"", "0", "04"}, 4},
        Sequence{"point_five_shows_value", "C.5", S{"", ".", "0.5"}, 0.5},
        Sequence{"point_four_shows_keys", "C.4", S{"", ".", ".4"}, 0.4},
        Sequence{"six_places_then_restart",
                 "C.000005"
                 "3",
                 S{"", ".", ".0", ".00", ".000", ".0000", ".00000", "5E-06", "3"}, 3},
        Sequence{"sixth_place_shows_fifteen_digits", "C.00006",
                 S{"", ".", ".0", ".00", ".000", ".0000", "6E-05"}, 6e-05},
        Sequence{"largest_after_clear", "C9999999",
                 S{"", "9", "99", "999", "9999", "99999", "999999", "9999999"}, 9999999},
        Sequence{"digit_after_enter_restarts", "12.5T3", S{"1", "12", "12.", "12.5", "12.5", "3"},
                 3},
        Sequence{"point_after_enter_with_point", "12.5T.3",
                 S{"1", "12", "12.", "12.5", "12.5", "0.", "0.3"}, 0.3},
        Sequence{"point_after_enter_without_point", "C125T.3",
                 S{"", "1", "12", "125", "125", "0.", "0.3"}, 0.3},
        Sequence{"clear_empties_display", "12C", S{"1", "12", ""}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Keypad, WorkedFractionTableKeepsItsCounters)
{
    Keypad pad;
    pad.startUp();
    pad.play("C1.23456");
    EXPECT_EQ(pad.state.EntryText, "1.23456");
    EXPECT_EQ(pad.state.KeyCount, varlo::EntryEndedCount);
    EXPECT_EQ(pad.state.DecimalPlaces, 5);
    EXPECT_TRUE(pad.state.PointEntered);
    pad.key('7');
    EXPECT_EQ(pad.state.KeyCount, 1);
    EXPECT_EQ(pad.state.DecimalPlaces, 0);
    EXPECT_FALSE(pad.state.PointEntered);
}

struct FlagCase {
    const char* name;
    std::string keys;
    bool settingsChanged;
};

class PendingFlag : public ::testing::TestWithParam<FlagCase> {};

TEST_P(PendingFlag, OnlyKeysOneToNineAndThePointMarkTheEntryPending)
{
    Keypad pad;
    pad.startUp();
    pad.state.SettingsChanged = false; // as after an Enter
    pad.play(GetParam().keys);
    EXPECT_EQ(pad.state.SettingsChanged, GetParam().settingsChanged);
}

INSTANTIATE_TEST_SUITE_P(Keys, PendingFlag,
                         ::testing::Values(FlagCase{"zero_keys", "00", false},
                                           FlagCase{"clear", "C", false},
                                           FlagCase{"clear_then_zero", "C0", false},
                                           FlagCase{"one", "1", true}, FlagCase{"nine", "9", true},
                                           FlagCase{"point", ".", true},
                                           FlagCase{"second_point", "C1..", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Keypad, TypedTextChangesOnlyTheValue)
{
    Keypad pad;
    pad.startUp();
    pad.play("C12");
    const varlo::PanelState before = pad.state;
    pad.put("5kHz");
    EXPECT_EQ(pad.state.EntryValue, 5);
    EXPECT_EQ(pad.state.EntryText, before.EntryText);
    EXPECT_EQ(pad.state.KeyCount, before.KeyCount);
    // The next key 5..9 works on the typed value, a key 0..4 shows the keyed text again.
    pad.key('6');
    EXPECT_EQ(pad.display, "56");
    pad.put("1,5");
    pad.key('3');
    EXPECT_EQ(pad.display, "1263");
}

TEST(Keypad, StartupValueCountsAsAnEndedEntry)
{
    varlo::PanelState state;
    EXPECT_EQ(varlo::applyStartupValues(state), "1000");
    EXPECT_EQ(state.KeyCount, varlo::EntryEndedCount)
        << "the entry has ended: the next key starts a new one";
    EXPECT_EQ(state.EntryValue, 1000);
    EXPECT_EQ(state.DutyPercent, 50);
    EXPECT_EQ(state.WaveCode, varlo::Waveform::Sine);
    EXPECT_EQ(state.UnitExponent, varlo::Unit::Hz);
    EXPECT_TRUE(state.SettingsChanged);
    EXPECT_FALSE(state.DutyChanged);
    EXPECT_FALSE(state.DutyAdjusted);
    EXPECT_FALSE(state.AttenuatorOn);
    EXPECT_TRUE(state.EntryText.empty());
}

} // namespace
