#include "serial/port_state_text.h"

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
    case PortState::PermissionDenied:
        if (diagnosis.group.empty())
            return "permission denied";
        return "permission denied; add yourself to the " + diagnosis.group +
               " group: sudo adduser $USER " + diagnosis.group + ", then log in again";
    case PortState::Busy:
        return "busy: " + holderText(diagnosis);
    case PortState::NotATerminal:
        return "not a terminal";
    case PortState::StaleLock: {
        std::string text = "blocked by the stale lock " + diagnosis.lockFile;
        text += diagnosis.holderPid
                    ? " (pid " + std::to_string(*diagnosis.holderPid) + " has ended)"
                    : std::string(" (it names no running process)");
        return text + ", which this user cannot remove; remove it with: sudo rm " +
               diagnosis.lockFile;
    }
    case PortState::OpenFailed:
        return "cannot be opened: " + diagnosis.detail;
    }
    return "cannot be opened";
}

} // namespace

std::string portStateText(int port, const PortDiagnosis& diagnosis)
{
    return "COM" + std::to_string(port) + " (" + diagnosis.device + "): " + stateText(diagnosis);
}

std::string deviceStateText(const PortDiagnosis& diagnosis)
{
    return diagnosis.device + ": " + stateText(diagnosis);
}

} // namespace varlo
