// A generator that stops reading: the pty's master end is not read while Enter is pressed
// again and again, so the line fills up until the panel refuses a command.

#include "protocol/enter.h"

#include "tests/qt/panel_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using panel_test::showsButtonFace;
using panel_test::showsPendingMark;
using panel_test::StartedPanel;

TEST(StalledLine, CommandsArriveWholeAndTheRefusedOneStaysRedUntilSent)
{
    StartedPanel panel;
    panel.dialogs.boxes.clear(); // the start-up questions
    const RecordingDialogs::Box txFull{"exclamation", "! RS-232 ERROR !", "Tx queue is full"};
    std::string sent; // every command reported as sent, in order
    std::string refused;
    std::string lastSetting;
    // The queue bound refuses after about a second of line time (some hundred commands); a
    // full device would refuse after about 20 kB, two thousand commands.
    for (int press = 0; press < 3000 && refused.empty(); ++press) {
        panel.keys(std::string(1, static_cast<char>('1' + press % 9)));
        lastSetting = press % 2 == 0 ? "DBSOn" : "DBSOff";
        panel.click(lastSetting);
        varlo::PanelState now = panel.window.panelState();
        const std::string command = varlo::pressEnter(now).command; // what this Enter sends
        panel.click("Enter");
        if (panel.dialogs.boxes.empty())
            sent += command;
        else
            refused = command;
    }
    ASSERT_FALSE(refused.empty()) << "no command was refused";
    EXPECT_EQ(panel.dialogs.boxes, std::vector<RecordingDialogs::Box>{txFull});
    const std::string otherSetting = lastSetting == "DBSOn" ? "DBSOff" : "DBSOn";
    EXPECT_TRUE(showsPendingMark(panel.control(lastSetting.c_str())));
    EXPECT_TRUE(showsButtonFace(panel.control(otherSetting.c_str())));

    // Whole, in order, and nothing of the refused command.
    EXPECT_EQ(panel.sent(sent.size()), sent);
    EXPECT_EQ(panel.sentWithin(100), "");

    // The line moves again: the next Enter sends the refused command.
    panel.click("Enter");
    EXPECT_EQ(panel.sent(refused.size()), refused);
    EXPECT_EQ(panel.dialogs.boxes.size(), 1u);
    EXPECT_TRUE(showsButtonFace(panel.control(lastSetting.c_str())));
}

} // namespace
