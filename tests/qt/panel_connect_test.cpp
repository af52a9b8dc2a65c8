// The panel through varlo-scpi (varlo --connect): how it opens, how it looks, and what it says
// when the server refuses a command, is not there or goes away.

#include "protocol/command_encoding.h"
#include "scpi_client/server_link.h"
#include "tests/qt/panel_fixture.h"
#include "tests/start_up_command.h"

#include <QLabel>
#include <QPushButton>
#include <QTcpSocket>

#include <ostream>

namespace {

using panel_test::showsButtonFace;
using panel_test::showsPendingMark;
using panel_test::StartedPanel;
using Through = StartedPanel::Through;
using varlo::dutyCommand;
using varlo::frequencyCommand;
using varlo::Waveform;

std::string joined(const std::vector<std::string>& commands)
{
    std::string all;
    for (const std::string& command : commands)
        all += command;
    return all;
}

// A line from another client of the server, which leaves once it has sent it, as a script may.
void anotherClientSends(const varlo::ServerAddress& server, const char* line)
{
    QTcpSocket other;
    other.connectToHost(QString::fromStdString(server.host), static_cast<quint16>(server.port));
    ASSERT_TRUE(other.waitForConnected(3000));
    other.write(line);
    ASSERT_TRUE(other.waitForBytesWritten(3000));
    other.disconnectFromHost();
}

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
    ASSERT_EQ(other.setOutput(dutyCommand(60, true, Waveform::Square)), std::nullopt);
    ASSERT_EQ(other.setOutput(frequencyCommand(12500, true, true, Waveform::Square)), std::nullopt);

    RecordingDialogs dialogs;
    varlo::Varlo54 window(dialogs, panel_test::loadedConnection(server.address()));
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

// A session of clicks, run on a panel on the port and on one through varlo-scpi: the same
// bytes on the line, and the same window afterwards, pixel for pixel, but for its title (with
// no click: the window as it opens).
struct KeyedSession {
    const char* name;
    std::vector<std::string> clicks;
    std::vector<std::string> commands;
};

void PrintTo(const KeyedSession& row, std::ostream* out)
{
    *out << row.name;
}

const KeyedSession KeyedSessions[] = {
    {"NothingKeyed", {}, {}},
    {"KeyedKilohertzSquare",
     {"Clear", "Num1", "Num2", "NumPoint", "Num5", "UnitKHz", "WaveSqu", "Enter"},
     {frequencyCommand(12500, false, false, Waveform::Square)}},
    {"AttenuatorKeptForTheNextFrequency",
     {"DBSOn", "Enter", "Clear", "Num5", "Enter"},
     {frequencyCommand(1000, true, false, Waveform::Sine),
      frequencyCommand(5, true, false, Waveform::Sine)}},
    {"EnterAgainSendsAgain", {"Enter", "Enter"}, {StartUpCommand, StartUpCommand}},
    {"TriangleAndADutyStep",
     {"WaveTri", "DutyArrowRight", "Enter", "Enter"},
     {dutyCommand(51, false, Waveform::Triangle),
      frequencyCommand(1000, false, true, Waveform::Triangle)}},
};

class KeyedSessionTest : public ::testing::TestWithParam<KeyedSession> {};

TEST_P(KeyedSessionTest, SameBytesAndWindowAsOnThePort)
{
    const KeyedSession& row = GetParam();
    // A caret that does not blink is drawn the same in both pictures.
    const int flashTime = QApplication::cursorFlashTime();
    QApplication::setCursorFlashTime(0);
    const auto run = [&](Through through, const std::vector<std::string>& commands) {
        StartedPanel panel(through);
        const std::size_t startUpBoxes = panel.dialogs.boxes.size();
        panel.clickAll(row.clicks);
        const std::string expected = joined(commands);
        std::string line = panel.sent(expected.size());
        line += panel.sentWithin(300);
        EXPECT_EQ(line, expected);
        EXPECT_EQ(panel.dialogs.boxes.size(), startUpBoxes);
        return panel.window.grab().toImage();
    };
    const QImage direct = run(Through::Port, row.commands);
    const QImage through = run(Through::Server, row.commands);
    EXPECT_EQ(through, direct);
    QApplication::setCursorFlashTime(flashTime);
}

INSTANTIATE_TEST_SUITE_P(PanelThroughTheServer, KeyedSessionTest,
                         ::testing::ValuesIn(KeyedSessions),
                         [](const auto& info) { return std::string(info.param.name); });

// Another client's line shows on the panel while a setting the user changed and has not sent
// stays as the user left it; Enter then sends that setting with the others as they now are.
TEST(PanelThroughTheServer, AnotherClientsChangeShowsWhileARedSettingStays)
{
    StartedPanel panel(Through::Server);
    panel.click("WaveSqu");
    anotherClientSends(panel.server->address(), "APPL:TRI 12.5 kHz;:OUTP:ATT 20\n");
    EXPECT_EQ(panel.sent(10), frequencyCommand(12500, true, false, Waveform::Triangle));
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel.display() == "12.5"; }, 3000));
    for (const char* selected : {"UnitKHz", "DBSOn", "WaveSqu"})
        EXPECT_TRUE(panel.control<QRadioButton>(selected)->isChecked()) << selected;
    EXPECT_TRUE(showsPendingMark(panel.control("WaveSqu")));
    EXPECT_TRUE(showsButtonFace(panel.control("DBSOn")));

    panel.click("Enter");
    EXPECT_EQ(panel.sent(10), frequencyCommand(12500, true, false, Waveform::Square));
    EXPECT_TRUE(showsButtonFace(panel.control("WaveSqu")));
}

TEST(PanelThroughTheServer, NoServerAtStartIsToldAndTheNextEnterConnects)
{
    const varlo::ServerAddress address{"127.0.0.1", freeLoopbackPort()};
    RecordingDialogs dialogs;
    varlo::Varlo54 window(dialogs, panel_test::loadedConnection(address));
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
    EXPECT_EQ(pty.readAtMaster(10, 3000), StartUpCommand);
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
    EXPECT_EQ(panel.sent(10), frequencyCommand(5, false, false, Waveform::Square));
}

// While another client holds the server's lock, Enter is refused naming the holder, and the
// marks stay red.
TEST(PanelThroughTheServer, AnotherClientsLockIsShownAndTheMarksStayRed)
{
    StartedPanel panel(Through::Server);
    QTcpSocket holder;
    holder.connectToHost(QStringLiteral("127.0.0.1"),
                         static_cast<quint16>(panel.server->address().port));
    ASSERT_TRUE(holder.waitForConnected(3000));
    holder.write("SYST:LOCK:REQ?\n");
    while (!holder.canReadLine())
        ASSERT_TRUE(holder.waitForReadyRead(3000));
    ASSERT_EQ(holder.readLine(), "1\n");
    panel.click("WaveSqu");
    panel.click("Enter");
    EXPECT_EQ(panel.dialogs.boxes,
              std::vector<RecordingDialogs::Box>{serverBox(
                  panel.server->address(), "refused the settings: the generator is locked by "
                                           "SOCKET 127.0.0.1:" +
                                               std::to_string(holder.localPort()))});
    EXPECT_TRUE(showsPendingMark(panel.control("WaveSqu")));
}

// Once back, the server is followed again without an Enter; the red mark stays throughout.
TEST(PanelThroughTheServer, AServerGoneIsToldOnceAndFollowedAgainOnceBack)
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
    anotherClientSends(address, "FREQ 2500\n");
    EXPECT_EQ(panel.sent(10), frequencyCommand(2500, false, false, Waveform::Sine));
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel.display() == "2.5"; }, 3000));
    EXPECT_TRUE(showsPendingMark(panel.control("WaveTri")));

    panel.click("Enter");
    EXPECT_EQ(panel.dialogs.boxes.size(), 1u);
    EXPECT_TRUE(showsButtonFace(panel.control("WaveTri")));
    EXPECT_EQ(panel.sent(10), frequencyCommand(2500, false, false, Waveform::Triangle));
}

} // namespace
