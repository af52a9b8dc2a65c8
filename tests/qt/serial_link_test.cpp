#include "serial/serial_link.h"

#include "serial/comm_error_text.h"
#include "serial/line_settings.h"
#include "serial/port_state_text.h"

#include "tests/qt/lock_holders.h"
#include "tests/qt/pty_pair.h"
#include "tests/start_up_command.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using varlo::SerialLink;
namespace comm_code = varlo::comm_code;

namespace {

constexpr const char* Settings = varlo::PanelLineSettings;

class SerialLinkOnPty : public ::testing::Test {
protected:
    PortDir ports;
    PtyPair com3{ports.path(), 3};
    SerialLink link;
};

TEST_F(SerialLinkOnPty, OpenPortKeepingItOpenHoldsThePort)
{
    EXPECT_EQ(link.OpenPort(3, Settings, 1), 3);
    EXPECT_TRUE(link.isOpen());
    EXPECT_TRUE(com3.slaveHeldOpen());
}

TEST_F(SerialLinkOnPty, OpenPortAsProbeLeavesThePortClosed)
{
    EXPECT_EQ(link.OpenPort(3, Settings, 0), 3);
    EXPECT_FALSE(link.isOpen());
    EXPECT_FALSE(com3.slaveHeldOpen());
    EXPECT_EQ(link.OpenPort(3, Settings, 1), 3) << "a probe leaves no lock behind";
}

TEST_F(SerialLinkOnPty, MissingPortGivesZeroAndHoldsNothing)
{
    EXPECT_EQ(link.OpenPort(4, Settings, 1), 0);
    EXPECT_EQ(link.state(), SerialLink::State::Closed);
    EXPECT_FALSE(com3.slaveHeldOpen());
}

TEST_F(SerialLinkOnPty, PortNumberOutsideTheRangeFailsBeforeAnythingIsOpened)
{
    for (int port : {0, 17, -3}) {
        EXPECT_EQ(link.setCommPort(port), comm_code::InvalidId) << port;
        EXPECT_EQ(link.OpenPort(port, Settings, 1), 0) << port;
    }
    EXPECT_EQ(link.state(), SerialLink::State::Closed);
}

// What is no terminal is refused by its file type, never opened: a reader of a FIFO would
// see end-of-file.
struct NonTerminalRow {
    const char* name;
    bool fifo;
};

class NonTerminal : public SerialLinkOnPty, public ::testing::WithParamInterface<NonTerminalRow> {};

TEST_P(NonTerminal, IsRefusedWithoutBeingOpened)
{
    const std::string path = ports.path().toStdString() + "/COM5";
    int reader = -1;
    if (GetParam().fifo) {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
    } else {
        std::ofstream(path) << "not a port";
    }
    const OpenWatch watch(path);
    ASSERT_TRUE(watch.watching());
    EXPECT_EQ(link.OpenPort(5, Settings, 1), 0);
    ASSERT_TRUE(link.lastOpenFailure());
    EXPECT_EQ(link.lastOpenFailure()->state, varlo::PortState::NotATerminal);
    EXPECT_FALSE(watch.opened());
    if (reader >= 0)
        ::close(reader);
}

INSTANTIATE_TEST_SUITE_P(Files, NonTerminal,
                         ::testing::Values(NonTerminalRow{"RegularFile", false},
                                           NonTerminalRow{"FifoWithAReader", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialLinkOnPty, WriteSendsExactlyTheCommandBytes)
{
    ASSERT_EQ(link.OpenPort(3, Settings, 1), 3);
    EXPECT_EQ(link.setOutput(StartUpCommand), comm_code::None);
    EXPECT_EQ(link.setOutput("4D03000004"), comm_code::None);
    EXPECT_EQ(com3.readAtMaster(20), StartUpCommand + "4D03000004");
    EXPECT_EQ(com3.readAtMaster(1, 200), "") << "nothing added after the commands";
}

TEST_F(SerialLinkOnPty, ClosePortReleasesThePort)
{
    ASSERT_EQ(link.OpenPort(3, Settings, 1), 3);
    EXPECT_EQ(link.ClosePort(), comm_code::None);
    EXPECT_FALSE(link.isOpen());
    EXPECT_FALSE(com3.slaveHeldOpen());
}

TEST_F(SerialLinkOnPty, ClosingOrWritingAClosedPortIsNotOpen)
{
    EXPECT_EQ(link.ClosePort(), comm_code::NotOpen);
    EXPECT_EQ(link.setOutput(StartUpCommand), comm_code::NotOpen);
}

TEST_F(SerialLinkOnPty, OpeningTwiceIsAlreadyOpen)
{
    ASSERT_EQ(link.OpenPort(3, Settings, 1), 3);
    EXPECT_EQ(link.setPortOpen(true), comm_code::AlreadyOpen);
    EXPECT_EQ(link.setCommPort(4), comm_code::AlreadyOpen);
    EXPECT_TRUE(link.isOpen());
}

struct BadSettingsRow {
    const char* name;
    const char* settings;
};

class UnusableSettings : public SerialLinkOnPty,
                         public ::testing::WithParamInterface<BadSettingsRow> {};

TEST_P(UnusableSettings, MakeTheOpenFail)
{
    EXPECT_EQ(link.OpenPort(3, GetParam().settings, 1), 0);
    EXPECT_EQ(link.state(), SerialLink::State::Closed);
    EXPECT_FALSE(com3.slaveHeldOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UnusableSettings,
    ::testing::Values(
        BadSettingsRow{"Commas", "9600,N,8,1"}, BadSettingsRow{"DoubleBlank", "9600  N 8 1"},
        BadSettingsRow{"MissingStopBits", "9600 N 8"}, BadSettingsRow{"Empty", ""},
        BadSettingsRow{"WordForBaud", "fast N 8 1"}, BadSettingsRow{"ZeroBaud", "0 N 8 1"},
        BadSettingsRow{"NegativeBaud", "-9600 N 8 1"},
        BadSettingsRow{"UnknownParity", "9600 X 8 1"}, BadSettingsRow{"NineDataBits", "9600 N 9 1"},
        BadSettingsRow{"ThreeStopBits", "9600 N 8 3"},
        BadSettingsRow{"OneAndAHalfStopBitsWithEightBits", "9600 N 8 1.5"},
        BadSettingsRow{"ParityTheLineCannotCarry", "9600 E 8 1"},
        BadSettingsRow{"DataBitsTheLineCannotCarry", "9600 N 7 1"}),
    [](const auto& info) { return std::string(info.param.name); });

struct OpenCodeRow {
    const char* name;
    const char* settings;
    std::int16_t code;
};

class RefusedSettings : public SerialLinkOnPty,
                        public ::testing::WithParamInterface<OpenCodeRow> {};

TEST_P(RefusedSettings, FailTheirStepWithAFittingCode)
{
    ASSERT_EQ(link.setCommPort(3), comm_code::None);
    const std::int16_t settingsCode = link.setSettings(GetParam().settings);
    const std::int16_t code = settingsCode != 0 ? settingsCode : link.setPortOpen(true);
    EXPECT_EQ(code, GetParam().code);
    EXPECT_EQ(link.state(), SerialLink::State::Closed);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RefusedSettings,
    ::testing::Values(OpenCodeRow{"Unreadable", "9600;N;8;1", comm_code::BadParameters},
                      OpenCodeRow{"DataBits", "9600 N 6 1", comm_code::ByteSize},
                      OpenCodeRow{"Parity", "9600 O 8 1", comm_code::BadParameters},
                      OpenCodeRow{"StopBits", "9600 N 8 1.5", comm_code::BadParameters}),
    [](const auto& info) { return std::string(info.param.name); });

struct LineRow {
    const char* name;
    const char* settings;
    speed_t speed;
    tcflag_t size;
    tcflag_t parity;   // PARENB | PARODD as set
    tcflag_t stopBits; // CSTOPB or 0
};

class SettingsOnTheLine : public SerialLinkOnPty, public ::testing::WithParamInterface<LineRow> {};

TEST_P(SettingsOnTheLine, ReachTheTerminal)
{
    const LineRow& row = GetParam();
    ASSERT_EQ(link.OpenPort(3, row.settings, 1), 3);
    const termios line = com3.lineSettings();
    EXPECT_EQ(::cfgetospeed(&line), row.speed);
    EXPECT_EQ(line.c_cflag & CSIZE, row.size);
    EXPECT_EQ(line.c_cflag & (PARENB | PARODD), row.parity);
    EXPECT_EQ(line.c_cflag & CSTOPB, row.stopBits);
    EXPECT_EQ(line.c_cflag & CRTSCTS, 0u) << "no flow control";
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF), 0u) << "no flow control";
}

// A pseudo-terminal carries eight data bits without parity only, like the panel's line.
INSTANTIATE_TEST_SUITE_P(
    Texts, SettingsOnTheLine,
    ::testing::Values(LineRow{"PanelSettings", "9600 N 8 1", B9600, CS8, 0, 0},
                      LineRow{"TwoStopBits", "4800 N 8 2", B4800, CS8, 0, CSTOPB},
                      LineRow{"LowerCaseParity", "19200 n 8 1", B19200, CS8, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialLinkOnPty, SettingsChangedWhileOpenReachTheLine)
{
    ASSERT_EQ(link.OpenPort(3, Settings, 1), 3);
    EXPECT_EQ(link.setSettings("2400 N 8 1"), comm_code::None);
    EXPECT_EQ(link.setSettings("2400 E 8 1"), comm_code::BadParameters);
    const termios line = com3.lineSettings();
    EXPECT_EQ(::cfgetospeed(&line), speed_t{B2400});
}

TEST_F(SerialLinkOnPty, UnpluggedDeviceFailsTheWriteOnceAndCloseReportsNothingMore)
{
    ASSERT_EQ(link.OpenPort(3, Settings, 1), 3);
    com3.closeMaster();
    EXPECT_EQ(link.setOutput(StartUpCommand), comm_code::HardwareGone);
    EXPECT_EQ(link.state(), SerialLink::State::Failed);
    EXPECT_EQ(link.ClosePort(), comm_code::None);
    EXPECT_EQ(link.state(), SerialLink::State::Closed);
}

TEST_F(SerialLinkOnPty, WriteAfterFailureReopensTheSamePort)
{
    ASSERT_EQ(link.OpenPort(3, Settings, 1), 3);
    com3.closeMaster();
    ASSERT_EQ(link.setOutput(StartUpCommand), comm_code::HardwareGone);
    // Still unplugged: the reopen fails, and says why.
    EXPECT_EQ(link.setOutput(StartUpCommand), comm_code::HardwareGone);
    EXPECT_EQ(link.state(), SerialLink::State::Failed);

    PtyPair replugged(ports.path(), 3);
    EXPECT_EQ(link.setOutput("4D03000004"), comm_code::None);
    EXPECT_TRUE(link.isOpen());
    EXPECT_EQ(replugged.readAtMaster(10), "4D03000004");
}

TEST_F(SerialLinkOnPty, CloseOfAnUnpluggedPortReportsMissingHardware)
{
    ASSERT_EQ(link.OpenPort(3, Settings, 1), 3);
    com3.closeMaster();
    EXPECT_EQ(link.ClosePort(), comm_code::HardwareGone);
    EXPECT_EQ(link.state(), SerialLink::State::Closed);
}

TEST_F(SerialLinkOnPty, TextBeyondASecondOfLineTimeIsRefusedWithNothingWritten)
{
    ASSERT_EQ(link.OpenPort(3, Settings, 1), 3);
    const std::string flood(1 << 20, 'A');
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(link.setOutput(flood), comm_code::TxFull);
    // A guard against hanging, generous enough for a loaded machine; not a speed measure.
    EXPECT_LT(timer.elapsed(), 5 * SerialLink::WriteTimeoutMs);
    EXPECT_EQ(link.state(), SerialLink::State::Open) << "a refusal keeps the port";
    EXPECT_TRUE(com3.slaveHeldOpen());

    EXPECT_EQ(link.setOutput(StartUpCommand), comm_code::None);
    EXPECT_EQ(com3.readAtMaster(11, 200), StartUpCommand) << "nothing of the refused text";
}

TEST_F(SerialLinkOnPty, SecondLinkInTheSameProcessCannotTakeTheHeldPort)
{
    ASSERT_EQ(link.OpenPort(3, Settings, 1), 3);
    SerialLink second;
    EXPECT_EQ(second.OpenPort(3, Settings, 1), 0);
    EXPECT_EQ(link.setOutput(StartUpCommand), comm_code::None);
    EXPECT_EQ(com3.readAtMaster(10), StartUpCommand) << "the first link's port is untouched";
    ASSERT_EQ(link.ClosePort(), comm_code::None);
    EXPECT_EQ(second.OpenPort(3, Settings, 1), 3);
}

TEST_F(SerialLinkOnPty, SecondVarloCannotTakeThePortThisOneHolds)
{
    ASSERT_EQ(link.OpenPort(3, Settings, 1), 3);
    SecondVarlo other(3);
    EXPECT_EQ(other.openResult(), 0);
}

TEST_F(SerialLinkOnPty, PortHeldBySecondVarloIsRefusedUntilItEnds)
{
    {
        SecondVarlo other(3);
        ASSERT_EQ(other.openResult(), 3);
        EXPECT_EQ(link.OpenPort(3, Settings, 1), 0);
    }
    EXPECT_EQ(link.OpenPort(3, Settings, 1), 3);
}

TEST_F(SerialLinkOnPty, PortFlockedByATerminalProgramIsRefused)
{
    FlockingChild terminal(com3.slavePath());
    ASSERT_TRUE(terminal.holding());
    EXPECT_EQ(link.OpenPort(3, Settings, 1), 0);
}

// A terminal program holds its port with the exclusive-open flag, or only by having it open.
// Either way the port is busy for every user, root included (whom the flag lets in), the
// holder is named, and its flag is left as it was, also by the close.
struct HolderRow {
    const char* name;
    FlockingChild::Hold hold;
};

class HeldByAnother : public SerialLinkOnPty, public ::testing::WithParamInterface<HolderRow> {};

TEST_P(HeldByAnother, PortIsBusyForEveryUserAndKeepsItsHolder)
{
    FlockingChild terminal(com3.slavePath(), GetParam().hold);
    ASSERT_TRUE(terminal.holding());
    const bool exclusive = GetParam().hold == FlockingChild::Hold::ExclusiveOpen;
    ASSERT_EQ(markedExclusive(com3.slavePath()), exclusive);

    EXPECT_EQ(link.OpenPort(3, Settings, 1), 0);
    const auto why = link.lastOpenFailure();
    EXPECT_EQ(why ? varlo::portStateText(3, *why) : "opened",
              "COM3 (" + ports.path().toStdString() + "/COM3): busy: " + ownProgramName() +
                  " (pid " + std::to_string(terminal.pid()) + ") holds it");
    link.ClosePort();
    EXPECT_EQ(markedExclusive(com3.slavePath()), exclusive);
}

INSTANTIATE_TEST_SUITE_P(Holds, HeldByAnother,
                         ::testing::Values(HolderRow{"ExclusiveOpen",
                                                     FlockingChild::Hold::ExclusiveOpen},
                                           HolderRow{"OpenOnly", FlockingChild::Hold::OpenOnly}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialLinkOnPty, PortWithLiveLockFileIsRefused)
{
    // The temporary directory is one of the places serial programs leave lock files.
    const std::string device = com3.slavePath();
    const std::string lockFile = "/tmp/LCK.." + varlo::lockFileNames(device).front();
    std::ofstream(lockFile) << "      " << ::getppid() << "\n";
    EXPECT_EQ(link.OpenPort(3, Settings, 1), 0);
    ::unlink(lockFile.c_str());
    EXPECT_EQ(link.OpenPort(3, Settings, 1), 3);
}

} // namespace
