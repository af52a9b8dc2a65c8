#include "serial/port_state_text.h"

#include "serial/port_names.h"

namespace varlo {

namespace {

std::string holderText(const PortDiagnosis& diagnosis)
{
    if (!diagnosis.holderPid)
        return "another program holds it; sudo fuser -v " + diagnosis.device + " shows which";
    const std::string pid = "pid " + std::to_string(*diagnosis.holderPid);
    std::string text = diagnosis.holderName.empty() ? pid : diagnosis.holderName + " (" + pid + ")";
    text += " holds it";
    if (!diagnosis.lockFile.empty())
        text += ", lock file " + diagnosis.lockFile;
    return text;
}

std::string stateText(const PortDiagnosis& diagnosis)
{
    switch (diagnosis.state) {
    case PortState::Free:
        return "present and free";
    case PortState::Missing:
        return "missing";
    case PortState::BrokenLink:
        return "broken link: the links lead round in a loop";
    case PortState::PermissionDenied:
        if (diagnosis.group.empty())
            return "permission denied";
        return "permission denied; add yourself to the " + diagnosis.group +
               " group: sudo adduser $USER " + diagnosis.group + ", then log in again";
    case PortState::Busy:
        return "busy: " + holderText(diagnosis);
    case PortState::MarkedExclusive:
        if (diagnosis.everyProcessSeen)
            return "marked exclusive, but no process holds it";
        return "marked exclusive, but no process that this user can see holds it; sudo fuser "
               "-v " +
               diagnosis.device + " shows any other";
    case PortState::NotATerminal:
        return "not a terminal";
    case PortState::NamelessLock:
        return "blocked by " + diagnosis.lockFile +
               ", a lock file that names no process; if no program is using the port, remove "
               "it with: " +
               (diagnosis.lockRemovable ? "rm " : "sudo rm ") + diagnosis.lockFile;
    case PortState::StaleLock:
        return "blocked by the stale lock " + diagnosis.lockFile + " (pid " +
               std::to_string(diagnosis.holderPid.value_or(0)) +
               " has ended), which this user cannot remove; remove it with: sudo rm " +
               diagnosis.lockFile;
    case PortState::OpenFailed:
        return "cannot be opened: " + diagnosis.detail;
    }
    return "cannot be opened";
}

} // namespace

std::string portStateText(int port, const PortDiagnosis& diagnosis)
{
    return comNameWithDevice(port, diagnosis.device) + ": " + stateText(diagnosis);
}

std::string deviceStateText(const PortDiagnosis& diagnosis)
{
    return diagnosis.device + ": " + stateText(diagnosis);
}

} // namespace varlo
