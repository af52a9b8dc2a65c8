#include "scpi/web/resource_strings.h"

#include "entry/host_and_port.h"

namespace varlo::scpi::web {

std::vector<std::string> resourceStringsAt(std::string_view host, int socketPort, bool vxi11)
{
    const std::string at = "TCPIP::" + bracketedHost(host) + "::";
    std::vector<std::string> strings;
    if (vxi11)
        strings.push_back(at + "inst0::INSTR");
    strings.push_back(at + std::to_string(socketPort) + "::SOCKET");
    return strings;
}

} // namespace varlo::scpi::web
