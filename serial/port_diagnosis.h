#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varlo {

// What stands between the program and a serial device.
enum class PortState {
    Free,             // present, and nothing keeps the program out
    Missing,          // no such device, or no hardware behind its node
    PermissionDenied, // this user may not open it
    Busy,             // another program holds it
    NotATerminal,     // the path leads to something that is no serial line
    StaleLock,        // a lock of an ended process blocks it and this user cannot remove it
    OpenFailed,       // it would not open for another reason, told in detail
};

struct PortDiagnosis {
    PortState state = PortState::Free;
    std::string device;            // the path as the port names it
    std::optional<long> holderPid; // Busy: who holds it; StaleLock: the ended process
    std::string holderName;        // Busy: the holder's program name, when readable
    std::string lockFile;          // Busy through a lock file, StaleLock: that file
    std::string group;             // PermissionDenied: the group allowed to open it, if any
    std::string detail;            // OpenFailed: the reason
};

// Looks at the device as the serial link would open it: lock files in the lock directories,
// then a brief write-only, non-blocking open with an exclusive flock, released at once, then
// lock files of ended processes that this user could not remove. The holder of a busy device
// comes from its lock file, from the kernel's flock table, or from the open descriptors of
// the processes this user may inspect.
PortDiagnosis diagnosePort(const std::string& devicePath,
                           const std::vector<std::string>& lockDirectories);

} // namespace varlo
