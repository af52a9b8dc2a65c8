#include "serial/port_diagnosis.h"

#include "serial/line_settings.h"
#include "serial/port_lock.h"
#include "serial/port_state_text.h"
#include "serial/serial_link.h"

#include "tests/qt/lock_holders.h"
#include "tests/qt/pty_pair.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using varlo::PortState;

namespace {

class Diagnosis : public ::testing::Test {
protected:
    varlo::PortDiagnosis diagnose(const std::string& path)
    {
        return varlo::diagnosePort(path, {"/nonexistent-lock-dir", locks.path().toStdString()});
    }
    std::string portPath(const char* name) const { return ports.path().toStdString() + "/" + name; }

    PortDir ports;
    PtyPair pty{ports.path(), 4};
    QTemporaryDir locks;
};

TEST_F(Diagnosis, FreeTerminalIsPresentAndFree)
{
    const auto diagnosis = diagnose(portPath("COM4"));
    EXPECT_EQ(diagnosis.state, PortState::Free);
    EXPECT_EQ(diagnosis.device, portPath("COM4"));
    EXPECT_FALSE(pty.slaveHeldOpen());
}

TEST_F(Diagnosis, FlockHolderIsNamedByPidAndProgram)
{
    FlockingChild terminal(pty.slavePath());
    ASSERT_TRUE(terminal.holding());
    const auto diagnosis = diagnose(portPath("COM4"));
    EXPECT_EQ(diagnosis.state, PortState::Busy);
    EXPECT_EQ(diagnosis.holderPid, terminal.pid());
    EXPECT_EQ(diagnosis.holderName, ownProgramName());
    EXPECT_EQ(diagnosis.lockFile, "");
}

// The flag keeps out everyone but root; to root too the port is busy, and its holder is
// found among the descriptors of the processes.
TEST_F(Diagnosis, ExclusiveOpenHolderIsFoundAmongOpenDescriptors)
{
    FlockingChild terminal(pty.slavePath(), FlockingChild::Hold::ExclusiveOpen);
    ASSERT_TRUE(terminal.holding());
    const auto diagnosis = diagnose(portPath("COM4"));
    EXPECT_EQ(diagnosis.state, PortState::Busy);
    EXPECT_EQ(diagnosis.holderPid, terminal.pid());
    EXPECT_EQ(diagnosis.holderName, ownProgramName());
}

// A holder that ends without clearing the flag leaves it on a pseudo-terminal: that is said,
// and no holder is made up. Root sees every process; another user only its own.
TEST_F(Diagnosis, ExclusiveFlagWithoutHolderIsSaidSo)
{
    {
        FlockingChild ended(pty.slavePath(), FlockingChild::Hold::ExclusiveOpen);
    }
    ASSERT_TRUE(markedExclusive(pty.slavePath()));
    const auto diagnosis = diagnose(portPath("COM4"));
    EXPECT_EQ(diagnosis.state, PortState::MarkedExclusive);
    EXPECT_EQ(diagnosis.holderPid, std::nullopt);
    EXPECT_EQ(diagnosis.everyProcessSeen, ::geteuid() == 0);
}

TEST_F(Diagnosis, LiveLockFileNamesItsHolderAndItself)
{
    const std::string lock = locks.path().toStdString() + "/LCK..pts_" +
                             pty.slavePath().substr(pty.slavePath().rfind('/') + 1);
    std::ofstream(lock) << "      " << ::getpid() << "\n";
    const auto diagnosis = diagnose(portPath("COM4"));
    EXPECT_EQ(diagnosis.state, PortState::Busy);
    EXPECT_EQ(diagnosis.holderPid, ::getpid());
    EXPECT_EQ(diagnosis.holderName, ownProgramName());
    EXPECT_EQ(diagnosis.lockFile, lock);
}

TEST_F(Diagnosis, MissingPathIsMissing)
{
    EXPECT_EQ(diagnose(portPath("COM9")).state, PortState::Missing);
}

// Removes a file when the test ends, however it ends.
struct RemovedAtEnd {
    std::string path;
    ~RemovedAtEnd() { ::unlink(path.c_str()); }
};

// Qt's own serial lock treats a lock of an ended process as stale and removes it before it
// locks; where it cannot, the open fails. Root can remove anything, so as root the lock is
// root's and the port is opened by another user; a user cannot make a lock of another user,
// but one it may not write is just as stuck, since Qt opens a lock for writing to remove it.
TEST(StaleLock, ThatCannotBeRemovedBlocksTheLinkAndIsNamed)
{
    PortDir ports;
    PtyPair pty{ports.path(), 4};
    std::string qtLock;
    {
        varlo::SerialLink link;
        ASSERT_EQ(link.OpenPort(4, varlo::PanelLineSettings, 1), 4);
        for (const auto& lock : varlo::lockFilesFor(pty.slavePath(), varlo::lockFileDirectories()))
            if (lock.live && lock.pid == ::getpid() && qtLock.empty())
                qtLock = lock.path;
    }
    ASSERT_FALSE(qtLock.empty()) << "the link took no lock file";
    const pid_t ended = endedProcessId();
    std::ofstream(qtLock) << ended << "\nvarlo\n\n";
    const RemovedAtEnd cleanup{qtLock};

    std::optional<uid_t> opener;
    if (::geteuid() == 0) {
        opener = 65534; // nobody
        ASSERT_EQ(::chmod(pty.slavePath().c_str(), 0666), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(ports.path()).constData(), 0755), 0);
    } else {
        ASSERT_EQ(::chmod(qtLock.c_str(), 0444), 0);
    }
    SecondVarlo other(4, opener);
    EXPECT_EQ(other.openResult(), 0);
    EXPECT_EQ(other.reason(), "COM4 (" + ports.path().toStdString() +
                                  "/COM4): blocked by the stale lock " + qtLock + " (pid " +
                                  std::to_string(ended) +
                                  " has ended), which this user cannot remove; remove it with: "
                                  "sudo rm " +
                                  qtLock);
}

// What --list says of a port and what the open does with it agree, whichever lock directory
// a lock file is in: a line of the list is the open's refusal, word for word.
enum class Setting { NamelessLockWhereQtLocks, StaleLockInTmp, LinkLoop };

struct AgreeRow {
    const char* name;
    Setting setting;
};

class ListAndOpen : public ::testing::TestWithParam<AgreeRow> {};

TEST_P(ListAndOpen, Agree)
{
    PortDir ports;
    PtyPair pty{ports.path(), 4};
    const std::string com4 = ports.path().toStdString() + "/COM4";
    const std::string lockName = "/LCK.." + varlo::lockFileNames(pty.slavePath()).front();
    RemovedAtEnd lock;
    std::string expected = "opened";
    switch (GetParam().setting) {
    case Setting::NamelessLockWhereQtLocks:
        // Qt's own lock would wait thirty seconds on it, then remove it.
        if (::access("/var/lock", W_OK) != 0)
            GTEST_SKIP() << "/var/lock is not writable by this user";
        lock.path = "/var/lock" + lockName;
        std::ofstream(lock.path) << "garbage";
        expected = "COM4 (" + com4 + "): blocked by " + lock.path +
                   ", a lock file that names no process; if no program is using the port, "
                   "remove it with: rm " +
                   lock.path;
        break;
    case Setting::StaleLockInTmp: {
        // A lock this user may not write is as stuck as another user's; root may remove any,
        // so to root it blocks nothing.
        lock.path = "/tmp" + lockName;
        const pid_t ended = endedProcessId();
        std::ofstream(lock.path) << ended << "\n";
        ASSERT_EQ(::chmod(lock.path.c_str(), 0444), 0);
        if (::geteuid() != 0)
            expected = "COM4 (" + com4 + "): blocked by the stale lock " + lock.path + " (pid " +
                       std::to_string(ended) +
                       " has ended), which this user cannot remove; remove it with: sudo rm " +
                       lock.path;
        break;
    }
    case Setting::LinkLoop:
        ASSERT_EQ(::unlink(com4.c_str()), 0);
        ASSERT_EQ(::symlink("COM4", com4.c_str()), 0);
        expected = "COM4 (" + com4 + "): broken link: the links lead round in a loop";
        break;
    }

    const auto listed = varlo::diagnosePort(com4, varlo::lockFileDirectories());
    const std::string listLine =
        listed.state == PortState::Free ? "opened" : varlo::portStateText(4, listed);
    varlo::SerialLink link;
    const int opened = link.OpenPort(4, varlo::PanelLineSettings, 1);
    const auto why = link.lastOpenFailure();
    const std::string openLine = opened != 0 ? "opened"
                                 : why       ? varlo::portStateText(4, *why)
                                             : "refused with no reason";
    EXPECT_EQ(listLine, openLine);
    EXPECT_EQ(openLine, expected);
}

INSTANTIATE_TEST_SUITE_P(Ports, ListAndOpen,
                         ::testing::Values(AgreeRow{"NamelessLockWhereQtLocks",
                                                    Setting::NamelessLockWhereQtLocks},
                                           AgreeRow{"StaleLockInTmp", Setting::StaleLockInTmp},
                                           AgreeRow{"LinkLoop", Setting::LinkLoop}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
