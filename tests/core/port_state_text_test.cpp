#include "serial/port_state_text.h"

#include <gtest/gtest.h>

#include <string>

using varlo::PortDiagnosis;
using varlo::PortState;

namespace {

struct TextRow {
    const char* name;
    PortDiagnosis diagnosis;
    const char* text;
};

PortDiagnosis on(PortState state)
{
    PortDiagnosis diagnosis;
    diagnosis.state = state;
    diagnosis.device = "/dev/ttyUSB0";
    return diagnosis;
}

PortDiagnosis with(PortDiagnosis diagnosis, std::optional<long> pid, std::string name = {},
                   std::string lockFile = {})
{
    diagnosis.holderPid = pid;
    diagnosis.holderName = std::move(name);
    diagnosis.lockFile = std::move(lockFile);
    return diagnosis;
}

PortDiagnosis inGroup(std::string group)
{
    PortDiagnosis diagnosis = on(PortState::PermissionDenied);
    diagnosis.group = std::move(group);
    return diagnosis;
}

PortDiagnosis exclusive(bool everyProcessSeen)
{
    PortDiagnosis diagnosis = on(PortState::MarkedExclusive);
    diagnosis.everyProcessSeen = everyProcessSeen;
    return diagnosis;
}

PortDiagnosis namelessLock(bool removable)
{
    PortDiagnosis diagnosis =
        with(on(PortState::NamelessLock), std::nullopt, "", "/tmp/LCK..ttyUSB0");
    diagnosis.lockRemovable = removable;
    return diagnosis;
}

PortDiagnosis failedWith(std::string detail)
{
    PortDiagnosis diagnosis = on(PortState::OpenFailed);
    diagnosis.detail = std::move(detail);
    return diagnosis;
}

class PortStateText : public ::testing::TestWithParam<TextRow> {};

TEST_P(PortStateText, NamesPortDeviceAndWhatToDo)
{
    EXPECT_EQ(varlo::portStateText(5, GetParam().diagnosis), GetParam().text);
}

const char* const StaleLock = "/run/lock/LCK..ttyUSB0";

INSTANTIATE_TEST_SUITE_P(
    States, PortStateText,
    ::testing::Values(
        TextRow{"Free", on(PortState::Free), "COM5 (/dev/ttyUSB0): present and free"},
        TextRow{"Missing", on(PortState::Missing), "COM5 (/dev/ttyUSB0): missing"},
        TextRow{"DeniedWithGroupHint", inGroup("dialout"),
                "COM5 (/dev/ttyUSB0): permission denied; add yourself to the dialout group: "
                "sudo adduser $USER dialout, then log in again"},
        TextRow{"DeniedWithNoGroupToJoin", inGroup(""), "COM5 (/dev/ttyUSB0): permission denied"},
        TextRow{"BusyByNamedProcess", with(on(PortState::Busy), 4242, "minicom"),
                "COM5 (/dev/ttyUSB0): busy: minicom (pid 4242) holds it"},
        TextRow{"BusyByLockFile", with(on(PortState::Busy), 4242, "picocom", StaleLock),
                "COM5 (/dev/ttyUSB0): busy: picocom (pid 4242) holds it, lock file "
                "/run/lock/LCK..ttyUSB0"},
        TextRow{"BusyByPidOfUnreadableName", with(on(PortState::Busy), 4242),
                "COM5 (/dev/ttyUSB0): busy: pid 4242 holds it"},
        TextRow{"BusyByUnknownHolder", with(on(PortState::Busy), std::nullopt),
                "COM5 (/dev/ttyUSB0): busy: another program holds it; sudo fuser -v "
                "/dev/ttyUSB0 shows which"},
        TextRow{"NotATerminal", on(PortState::NotATerminal), "COM5 (/dev/ttyUSB0): not a terminal"},
        TextRow{"StaleLockOfEndedPid", with(on(PortState::StaleLock), 4242, "", StaleLock),
                "COM5 (/dev/ttyUSB0): blocked by the stale lock /run/lock/LCK..ttyUSB0 (pid "
                "4242 has ended), which this user cannot remove; remove it with: sudo rm "
                "/run/lock/LCK..ttyUSB0"},
        TextRow{"BrokenLink", on(PortState::BrokenLink),
                "COM5 (/dev/ttyUSB0): broken link: the links lead round in a loop"},
        TextRow{"ExclusiveWithNoHolderAnywhere", exclusive(true),
                "COM5 (/dev/ttyUSB0): marked exclusive, but no process holds it"},
        TextRow{"ExclusiveWithNoHolderInSight", exclusive(false),
                "COM5 (/dev/ttyUSB0): marked exclusive, but no process that this user can see "
                "holds it; sudo fuser -v /dev/ttyUSB0 shows any other"},
        TextRow{"LockNamingNoProcess", namelessLock(true),
                "COM5 (/dev/ttyUSB0): blocked by /tmp/LCK..ttyUSB0, a lock file that names no "
                "process; if no program is using the port, remove it with: rm /tmp/LCK..ttyUSB0"},
        TextRow{"AnotherUsersLockNamingNoProcess", namelessLock(false),
                "COM5 (/dev/ttyUSB0): blocked by /tmp/LCK..ttyUSB0, a lock file that names no "
                "process; if no program is using the port, remove it with: sudo rm "
                "/tmp/LCK..ttyUSB0"},
        TextRow{"OpenFailedWithReason", failedWith("Unsupported baudrate"),
                "COM5 (/dev/ttyUSB0): cannot be opened: Unsupported baudrate"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
