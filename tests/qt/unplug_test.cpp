#include "panel/panel_window.h"
#include "protocol/command_encoding.h"

#include "tests/qt/panel_fixture.h"
#include "tests/qt/pty_pair.h"
#include "tests/qt/recording_dialogs.h"
#include "tests/start_up_command.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using Box = RecordingDialogs::Box;

namespace {

// The panel on COM3, accepted at start-up, as a user has it on the bench.
class Unplugged : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialogs.answers = {true};
        ASSERT_TRUE(window.Form_Load());
        window.show();
        dialogs.boxes.clear();
    }
    void clickEnter()
    {
        auto* enter = window.findChild<QPushButton*>(QStringLiteral("Enter"));
        ASSERT_NE(enter, nullptr);
        QTest::mouseClick(enter, Qt::LeftButton);
    }
    // Lets the window take its events for a while, as it would while the user looks.
    void idle(int ms)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    PortDir ports;
    std::unique_ptr<PtyPair> com3 = std::make_unique<PtyPair>(ports.path(), 3);
    RecordingDialogs dialogs;
    varlo::Varlo54 window{dialogs};
};

const Box HardwareGoneBox{"exclamation", "! RS-232 ERROR !", "Hardware not present"};

TEST_F(Unplugged, EnterShowsOneErrorAndTheWindowGoesOn)
{
    clickEnter();
    ASSERT_EQ(com3->readAtMaster(10), StartUpCommand);

    com3->closeMaster();
    clickEnter();
    idle(300);
    EXPECT_EQ(dialogs.boxes, std::vector<Box>{HardwareGoneBox});
    EXPECT_FALSE(dialogs.ended);

    // Still answering: a digit key reaches the display.
    auto* num5 = window.findChild<QPushButton*>(QStringLiteral("Num5"));
    ASSERT_NE(num5, nullptr);
    QTest::mouseClick(num5, Qt::LeftButton);
    EXPECT_EQ(window.panelState().EntryText, "5");
}

TEST_F(Unplugged, FailedWritesKeepTheMarksAndReplugSendsTheDutyFirst)
{
    com3->closeMaster();
    for (const char* name : {"WaveSqu", "DBSOn"}) {
        auto* option = window.findChild<QRadioButton*>(QString::fromLatin1(name));
        ASSERT_NE(option, nullptr);
        QTest::mouseClick(option, Qt::LeftButton, {}, panel_test::indicatorCentre(option));
    }
    auto* duty = window.findChild<QScrollBar*>(QStringLiteral("DutyScroll"));
    ASSERT_NE(duty, nullptr);
    QTest::keyClick(duty, Qt::Key_Right);
    const varlo::PanelState& state = window.panelState();
    const std::string lost =
        varlo::dutyCommand(state.DutyPercent, state.AttenuatorOn, state.WaveCode);

    // One box for each press while unplugged; nothing of it counts as sent.
    clickEnter();
    clickEnter();
    EXPECT_EQ(dialogs.boxes, (std::vector<Box>{HardwareGoneBox, HardwareGoneBox}));
    EXPECT_TRUE(state.DutyChanged);
    EXPECT_TRUE(state.SettingsChanged);
    for (const char* name : {"WaveSqu", "DBSOn", "DutyValueLabel"})
        EXPECT_TRUE(panel_test::showsPendingMark(panel_test::find(window, name))) << name;

    com3.reset(); // its link would take the new one's name with it
    com3 = std::make_unique<PtyPair>(ports.path(), 3);
    clickEnter();
    EXPECT_EQ(com3->readAtMaster(lost.size()), lost);
    EXPECT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_FALSE(state.DutyChanged);
    EXPECT_TRUE(panel_test::showsButtonFace(panel_test::find(window, "DutyValueLabel")));
    EXPECT_TRUE(panel_test::showsPendingMark(panel_test::find(window, "WaveSqu")));
}

TEST_F(Unplugged, ExitAfterTheFailureEndsWithoutASecondBox)
{
    com3->closeMaster();
    clickEnter();
    ASSERT_EQ(dialogs.boxes, std::vector<Box>{HardwareGoneBox});
    auto* exitItem = window.findChild<QAction*>(QStringLiteral("Exit"));
    ASSERT_NE(exitItem, nullptr);
    exitItem->trigger();
    EXPECT_TRUE(dialogs.ended);
    EXPECT_EQ(dialogs.boxes, std::vector<Box>{HardwareGoneBox});
}

TEST_F(Unplugged, ExitWithTheDeviceGoneSaysSoOnce)
{
    com3->closeMaster();
    auto* exitItem = window.findChild<QAction*>(QStringLiteral("Exit"));
    ASSERT_NE(exitItem, nullptr);
    exitItem->trigger();
    EXPECT_TRUE(dialogs.ended);
    EXPECT_EQ(dialogs.boxes, std::vector<Box>{HardwareGoneBox});
}

} // namespace
