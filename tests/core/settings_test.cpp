#include "settings/settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

struct SettingCase {
    const char* name;
    std::function<void(varlo::PanelState&)> click;
    bool settingsChanged;
    bool dutyChanged;
};

class PendingFlags : public ::testing::TestWithParam<SettingCase> {};

TEST_P(PendingFlags, EachSettingRaisesItsOwnFlag)
{
    varlo::PanelState state; // both flags clear, as after the Enters that sent them
    GetParam().click(state);
    EXPECT_EQ(state.SettingsChanged, GetParam().settingsChanged);
    EXPECT_EQ(state.DutyChanged, GetParam().dutyChanged);
    EXPECT_EQ(state.DutyAdjusted, GetParam().dutyChanged);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, PendingFlags,
    ::testing::Values(
        SettingCase{"unit_khz", [](auto& s) { varlo::selectUnit(s, varlo::Unit::KHz); }, true,
                    false},
        SettingCase{"unit_hz", [](auto& s) { varlo::selectUnit(s, varlo::Unit::Hz); }, true, false},
        SettingCase{"wave_square",
                    [](auto& s) { varlo::selectWaveform(s, varlo::Waveform::Square); }, true,
                    false},
        SettingCase{"wave_sine_again",
                    [](auto& s) { varlo::selectWaveform(s, varlo::Waveform::Sine); }, true, false},
        SettingCase{"attenuator_on", [](auto& s) { varlo::selectAttenuator(s, true); }, true,
                    false},
        SettingCase{"attenuator_off", [](auto& s) { varlo::selectAttenuator(s, false); }, true,
                    false},
        SettingCase{"duty_step", [](auto& s) { varlo::changeDuty(s, 51); }, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Settings, DutyCaptionIsPlainDigits)
{
    varlo::PanelState state;
    EXPECT_EQ(varlo::changeDuty(state, 60), "60");
    EXPECT_EQ(state.DutyPercent, 60);
    EXPECT_EQ(varlo::changeDuty(state, varlo::MinDutyPercent), "20");
    EXPECT_EQ(varlo::changeDuty(state, varlo::MaxDutyPercent), "80");
}

} // namespace
