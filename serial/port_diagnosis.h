#pragma once

#include "serial/port_lock.h"

#include <optional>
#include <string>
#include <vector>

namespace varlo {

// What stands between the program and a serial device.
enum class PortState {
    Free,             // present, and nothing keeps the program out
    Missing,          // no such device, or no hardware behind its node
    BrokenLink,       // the path is a link that leads round in a loop
    PermissionDenied, // this user may not open it
    Busy,             // another program holds it
    MarkedExclusive,  // its exclusive-open flag is set, yet no process was found holding it
    NotATerminal,     // the path leads to something that is no serial line
    NamelessLock,     // a lock file that names no process announces it
    StaleLock,        // a lock of an ended process blocks it and this user cannot remove it
    OpenFailed,       // it would not open for another reason, told in detail
};

struct PortDiagnosis {
    PortState state = PortState::Free;
    std::string device;            // the path as the port names it
    std::optional<long> holderPid; // Busy: who holds it; StaleLock: the ended process
    std::string holderName;        // Busy: the holder's program name, when readable
    std::string lockFile;          // Busy through a lock file, NamelessLock, StaleLock: that file
    bool lockRemovable = false;    // NamelessLock: whether this user may remove the file
    bool everyProcessSeen = true;  // MarkedExclusive: whether every process could be looked at
    std::string group;             // PermissionDenied: the group allowed to open it, if any
    std::string detail;            // OpenFailed: the reason
};

// The one look at a device before it is opened, shared by the link's open and by the
// diagnosis, so that what a listing says of a port is what the open does with it. In order:
// the path is followed to the device; a running process named by a lock file in any of the
// lock directories holds it; the device is claimed (a character device only, never opened
// otherwise, then a terminal whose exclusive-open flag is clear, with an exclusive flock);
// another process with the device open holds it (as the holder of an exclusive-open flag
// leaves no other trace), the far end of a pseudo-terminal aside; a lock file that names no
// process, or a stale one this user cannot remove, blocks it.
struct PortCheck {
    PortDiagnosis diagnosis;
    std::string device; // the device itself, links followed; empty when it cannot be reached
    DeviceClaim claim;  // held exactly when the diagnosis is Free
};

PortCheck checkPort(const std::string& devicePath, const std::vector<std::string>& lockDirectories);

// The same look, the claim let go at once: what a listing tells of a port.
PortDiagnosis diagnosePort(const std::string& devicePath,
                           const std::vector<std::string>& lockDirectories);

} // namespace varlo
