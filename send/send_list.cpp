#include "send/send_list.h"

#include "serial/port_diagnosis.h"
#include "serial/port_discovery.h"
#include "serial/port_lock.h"
#include "serial/port_names.h"
#include "serial/port_state_text.h"

namespace varlo::send {

std::vector<std::string> portListLines()
{
    std::vector<std::string> lines;
    const std::vector<std::string> lockDirectories = lockFileDirectories();
    for (int port = 1; port <= HighestPort; ++port)
        if (const auto device = configuredDevicePath(port))
            lines.push_back(portStateText(port, diagnosePort(*device, lockDirectories)));
    return lines;
}

} // namespace varlo::send
