// The panel through varlo-scpi (varlo --connect): how it opens, how it looks, and what it says
// when the server refuses a command, is not there or goes away.

#include "protocol/command_encoding.h"
#include "tests/qt/panel_fixture.h"
#include "tests/start_up_command.h"

#include <QLabel>
#include <QPushButton>

namespace {

using panel_test::showsButtonFace;
using panel_test::showsPendingMark;
using panel_test::StartedPanel;
using Through = StartedPanel::Through;

RecordingDialogs::Box serverBox(const varlo::ServerAddress& server, const std::string& words)
{
    return {"exclamation", "! SERVER ERROR !",
            "varlo-scpi at " + varlo::serverText(server) + " " + words};
}

TEST(PanelThroughTheServer, OpensShowingWhatTheGeneratorHoldsWithNothingRed)
{
    PortDir dir;
    PtyPair pty(dir.path(), 3);
    ScpiProcess server(dir.path(), 3);
    varlo::ServerLink other(server.address());
    ASSERT_EQ(other.setOutput(varlo::dutyCommand(60, true, varlo::Waveform::Square)), std::nullopt);
    ASSERT_EQ(other.setOutput(varlo::frequencyCommand(12500, true, true, varlo::Waveform::Square)),
              std::nullopt);

    RecordingDialogs dialogs;
    varlo::Varlo54 window(dialogs, server.address());
    ASSERT_TRUE(window.Form_Load());
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(window.windowTitle(),
              QStringLiteral("Function Generator \u2014 127.0.0.1:%1").arg(server.address().port));
    EXPECT_EQ(panel_test::find<QLineEdit>(window, "FreqValue")->text(), QStringLiteral("12.5"));
    for (const char* selected : {"UnitKHz", "WaveSqu", "DBSOn"})
        EXPECT_TRUE(panel_test::find<QRadioButton>(window, selected)->isChecked()) << selected;
    EXPECT_EQ(panel_test::find<QScrollBar>(window, "DutyScroll")->value(), 60);
    EXPECT_EQ(panel_test::find<QLabel>(window, "DutyValueLabel")->text(), QStringLiteral("60"));
    for (std::size_t mark = 0; mark < varlo::MarkedCount; ++mark)
        EXPECT_FALSE(window.panelState().RedMarks.isRed(static_cast<varlo::Marked>(mark)));
    EXPECT_FALSE(window.panelState().DutyChanged);
}

// Everything in the window but its title is as in direct mode.
TEST(PanelThroughTheServer, LooksAsInDirectModePixelForPixel)
{
    // A caret that does not blink is drawn the same in both pictures.
    const int flashTime = QApplication::cursorFlashTime();
    QApplication::setCursorFlashTime(0);
    StartedPanel direct;
    const QImage directly = direct.window.grab().toImage();
    StartedPanel through(Through::Server);
    EXPECT_EQ(through.window.grab().toImage(), directly);
    QApplication::setCursorFlashTime(flashTime);
}

TEST(PanelThroughTheServer, NoServerAtStartIsToldAndTheNextEnterConnects)
{
    const varlo::ServerAddress address{"127.0.0.1", freeLoopbackPort()};
    RecordingDialogs dialogs;
    varlo::Varlo54 window(dialogs, address);
    ASSERT_TRUE(window.Form_Load());
    const RecordingDialogs::Box refused{"exclamation", "! SERVER ERROR !",
                                        "varlo-scpi at " + varlo::serverText(address) +
                                            " cannot be reached: connection refused"};
    EXPECT_EQ(dialogs.boxes, std::vector<RecordingDialogs::Box>{refused});
    EXPECT_EQ(panel_test::find<QLineEdit>(window, "FreqValue")->text(), QStringLiteral("1000"));

    PortDir dir;
    PtyPair pty(dir.path(), 3);
    ScpiProcess server(dir.path(), 3, address.port);
    ASSERT_EQ(server.address(), address);
    window.show();
    QTest::mouseClick(panel_test::find<QPushButton>(window, "Enter"), Qt::LeftButton);
    EXPECT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(pty.readAtMaster(30, 3000).ends_with(StartUpCommand));
}

// 0 Hz, which Enter sends on a serial port, is below what the server takes: its words show,
// the marks stay, and the connection serves the next Enter.
TEST(PanelThroughTheServer, TheServersRefusalIsShownAndTheMarksStayRed)
{
    StartedPanel panel(Through::Server);
    panel.keys("C");
    panel.click("WaveSqu");
    panel.click("Enter");
    EXPECT_EQ(panel.dialogs.boxes,
              std::vector<RecordingDialogs::Box>{
                  serverBox(panel.server->address(), "says -222,\"Data out of range\"")});
    EXPECT_TRUE(showsPendingMark(panel.control("WaveSqu")));

    panel.keys("5E");
    EXPECT_EQ(panel.dialogs.boxes.size(), 1u);
    EXPECT_TRUE(showsButtonFace(panel.control("WaveSqu")));
    const std::string command = varlo::frequencyCommand(5, false, false, varlo::Waveform::Square);
    EXPECT_TRUE(panel.sent(50).ends_with(command));
}

TEST(PanelThroughTheServer, AServerGoneIsToldOnceAndTheNextEnterConnectsAgain)
{
    StartedPanel panel(Through::Server);
    const varlo::ServerAddress address = panel.server->address();
    panel.click("WaveTri");
    panel.server->stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !panel.dialogs.boxes.empty(); }, 3000));
    QTest::qWait(3 * varlo::ServerLink::FollowIntervalMs);
    EXPECT_EQ(panel.dialogs.boxes, std::vector<RecordingDialogs::Box>{
                                       serverBox(address, "has gone: connection closed or reset")});
    EXPECT_TRUE(showsPendingMark(panel.control("WaveTri")));

    panel.server = std::make_unique<ScpiProcess>(panel.dir.path(), 3, address.port);
    panel.click("Enter");
    EXPECT_EQ(panel.dialogs.boxes.size(), 1u);
    EXPECT_TRUE(showsButtonFace(panel.control("WaveTri")));
    const std::string command =
        varlo::frequencyCommand(1000, false, false, varlo::Waveform::Triangle);
    EXPECT_TRUE(panel.sent(30).ends_with(command));
}

} // namespace
