#include "serial/port_discovery.h"

#include "serial/comm_error_text.h"
#include "serial/line_settings.h"
#include "serial/port_state_text.h"

#include <iostream>
#include <string>

namespace varlo {

namespace {

// A device that is there but cannot be used is named on stderr with the reason, and the
// line is kept for the box that says no port can be used: "No communication port can use!"
// alone would tell the user no more.
void reportUnusable(int port, const std::optional<PortDiagnosis>& why, std::string& reasons)
{
    if (!why || why->state == PortState::Missing)
        return;
    const std::string line = portStateText(port, *why);
    std::cerr << line << '\n';
    reasons += (reasons.empty() ? "" : "\n") + line;
}

} // namespace

std::optional<int> discoverPort(PortOperations& ports, UserDialogs& dialogs)
{
    std::string reasons;
    for (int port = HighestPort; port >= 1; --port) {
        if (dialogs.ending())
            return std::nullopt;
        if (ports.OpenPort(port, PanelLineSettings, 1) <= 0) {
            reportUnusable(port, ports.lastOpenFailure(), reasons);
            continue;
        }
        const std::string portText = std::to_string(port);
        if (dialogs.askYesNo(PanelTitle, "Find Com " + portText + ", Using it?")) {
            dialogs.tell(BoxIcon::Information, PanelTitle, "Using COM" + portText + ":");
            return port;
        }
        // Only one port is ever open: a declined one is closed before the next is tried.
        if (const std::int16_t code = ports.ClosePort(); code != 0)
            dialogs.tell(BoxIcon::Exclamation, CommErrorTitle, commErrorText(code));
    }
    if (dialogs.ending())
        return std::nullopt;
    dialogs.tell(BoxIcon::Stop, PanelTitle, NoPortText, reasons);
    dialogs.endProgram();
    return std::nullopt;
}

} // namespace varlo
