#include "serial/port_lock.h"

#include "tests/qt/lock_holders.h"
#include "tests/qt/pty_pair.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

using varlo::DeviceClaim;

namespace {

struct NamesRow {
    const char* name;
    const char* device;
    std::vector<std::string> names;
};

class LockFileNames : public ::testing::TestWithParam<NamesRow> {};

TEST_P(LockFileNames, NameTheDeviceAsSerialProgramsDo)
{
    EXPECT_EQ(varlo::lockFileNames(GetParam().device), GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(Devices, LockFileNames,
                         ::testing::Values(NamesRow{"UsbAdapter", "/dev/ttyUSB0", {"ttyUSB0"}},
                                           NamesRow{"PseudoTerminal", "/dev/pts/3", {"pts_3", "3"}},
                                           NamesRow{"OutsideDev", "/srv/ports/ttyX1", {"ttyX1"}}),
                         [](const auto& info) { return std::string(info.param.name); });

std::string binaryPid(int pid)
{
    std::string content(sizeof pid, '\0');
    std::memcpy(content.data(), &pid, sizeof pid);
    return content;
}

struct PidRow {
    const char* name;
    std::string content;
    std::optional<long> pid;
};

class LockFilePid : public ::testing::TestWithParam<PidRow> {};

TEST_P(LockFilePid, ReadsThePidOfTheHolder)
{
    EXPECT_EQ(varlo::lockFilePid(GetParam().content), GetParam().pid);
}

INSTANTIATE_TEST_SUITE_P(Contents, LockFilePid,
                         ::testing::Values(PidRow{"UucpTenColumns", "      4242\n", 4242},
                                           PidRow{"BareDigits", "4242", 4242},
                                           PidRow{"QtLockFile", "4242\nvarlo\nbench-pc\n", 4242},
                                           PidRow{"BinaryInt", binaryPid(4242), 4242},
                                           PidRow{"Empty", "", std::nullopt},
                                           PidRow{"Words", "locked by minicom\n", std::nullopt},
                                           PidRow{"PidZero", "0\n", std::nullopt},
                                           PidRow{"NegativeBinary", binaryPid(-5), std::nullopt},
                                           PidRow{"DigitsRunIntoLetters", "42ab\n", std::nullopt}),
                         [](const auto& info) { return std::string(info.param.name); });

class LockFiles : public ::testing::Test {
protected:
    void writeLock(const std::string& name, const std::string& content)
    {
        std::ofstream(dir.path().toStdString() + "/LCK.." + name, std::ios::binary) << content;
    }
    std::vector<varlo::LockFile> locks(const std::string& device)
    {
        return varlo::lockFilesFor(device, {"/nonexistent-lock-dir", dir.path().toStdString()});
    }
    // Whether a running process holds a lock file for the device.
    bool held(const std::string& device)
    {
        const auto found = locks(device);
        return std::ranges::any_of(found, [](const varlo::LockFile& lock) { return lock.live; });
    }
    QTemporaryDir dir;
};

TEST_F(LockFiles, LiveAsciiPidHoldsTheDevice)
{
    writeLock("ttyUSB0", "      " + std::to_string(::getpid()) + "\n");
    EXPECT_TRUE(held("/dev/ttyUSB0"));
    EXPECT_FALSE(held("/dev/ttyUSB1"));
}

TEST_F(LockFiles, LiveBinaryPidHoldsTheDevice)
{
    writeLock("ttyS0", binaryPid(::getpid()));
    EXPECT_TRUE(held("/dev/ttyS0"));
}

TEST_F(LockFiles, PseudoTerminalIsFoundUnderEitherName)
{
    writeLock("pts_7", std::to_string(::getpid()) + "\n");
    writeLock("9", std::to_string(::getpid()) + "\n");
    EXPECT_TRUE(held("/dev/pts/7"));
    EXPECT_TRUE(held("/dev/pts/9"));
    EXPECT_FALSE(held("/dev/pts/8"));
}

TEST_F(LockFiles, StaleLockOfEndedProcessIsIgnored)
{
    writeLock("ttyACM0", std::to_string(endedProcessId()) + "\n");
    EXPECT_FALSE(held("/dev/ttyACM0"));
}

TEST_F(LockFiles, UnreadableContentNamesNoProcess)
{
    writeLock("ttyACM1", "garbage");
    const auto found = locks("/dev/ttyACM1");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.front().pid, std::nullopt);
    EXPECT_FALSE(found.front().live);
}

class Claims : public ::testing::Test {
protected:
    PortDir ports;
    PtyPair pty{ports.path(), 4};
};

TEST_F(Claims, FreeTerminalIsHeld)
{
    DeviceClaim claim(pty.slavePath());
    EXPECT_TRUE(claim.held());
    EXPECT_TRUE(pty.slaveHeldOpen());
    claim.release();
    EXPECT_FALSE(pty.slaveHeldOpen());
}

TEST_F(Claims, SecondClaimInSameProcessIsBusyUntilFirstIsReleased)
{
    DeviceClaim first(pty.slavePath());
    DeviceClaim second(pty.slavePath());
    EXPECT_EQ(second.outcome(), DeviceClaim::Outcome::Busy);
    EXPECT_FALSE(second.held());
    first.release();
    DeviceClaim third(pty.slavePath());
    EXPECT_TRUE(third.held());
}

TEST_F(Claims, TerminalFlockedByAnotherProcessIsBusy)
{
    FlockingChild terminal(pty.slavePath());
    ASSERT_TRUE(terminal.holding());
    DeviceClaim claim(pty.slavePath());
    EXPECT_EQ(claim.outcome(), DeviceClaim::Outcome::Busy);
}

TEST_F(Claims, ClaimKeepsOtherProcessesOut)
{
    DeviceClaim claim(pty.slavePath());
    ASSERT_TRUE(claim.held());
    FlockingChild terminal(pty.slavePath());
    EXPECT_FALSE(terminal.holding());
}

TEST_F(Claims, MovedClaimStillHoldsAndReleasesOnce)
{
    DeviceClaim claim;
    claim = DeviceClaim(pty.slavePath());
    EXPECT_TRUE(claim.held());
    DeviceClaim moved(std::move(claim));
    EXPECT_TRUE(moved.held());
    EXPECT_EQ(DeviceClaim(pty.slavePath()).outcome(), DeviceClaim::Outcome::Busy);
    moved.release();
    EXPECT_TRUE(DeviceClaim(pty.slavePath()).held());
}

TEST(Claim, MissingDeviceIsMissing)
{
    QTemporaryDir dir;
    DeviceClaim claim(dir.path().toStdString() + "/ttyNothing");
    EXPECT_EQ(claim.outcome(), DeviceClaim::Outcome::Missing);
    EXPECT_FALSE(claim.held());
}

} // namespace
