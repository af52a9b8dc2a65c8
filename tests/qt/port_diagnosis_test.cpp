#include "serial/port_diagnosis.h"

#include "serial/line_settings.h"
#include "serial/port_lock.h"
#include "serial/serial_link.h"

#include "qt/lock_holders.h"
#include "qt/pty_pair.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

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

// The flag keeps out everyone but root: a user learns who set it from the descriptors of
// the processes it may read; root opens the port regardless, so to root it is free.
TEST_F(Diagnosis, ExclusiveOpenHolderIsFoundAmongOpenDescriptors)
{
    FlockingChild terminal(pty.slavePath(), FlockingChild::Hold::ExclusiveOpen);
    ASSERT_TRUE(terminal.holding());
    const auto diagnosis = diagnose(portPath("COM4"));
    if (::geteuid() == 0) {
        EXPECT_EQ(diagnosis.state, PortState::Free);
        return;
    }
    EXPECT_EQ(diagnosis.state, PortState::Busy);
    EXPECT_EQ(diagnosis.holderPid, terminal.pid());
    EXPECT_EQ(diagnosis.holderName, ownProgramName());
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

TEST_F(Diagnosis, RegularFileIsNoTerminal)
{
    std::ofstream(portPath("COM7")) << "not a port";
    EXPECT_EQ(diagnose(portPath("COM7")).state, PortState::NotATerminal);
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

} // namespace
