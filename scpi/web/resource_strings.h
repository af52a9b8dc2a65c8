#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace varlo::scpi::web {

// The VISA resource strings lab software opens the generator by at `host`, an address or a
// name: VXI-11's TCPIP::HOST::inst0::INSTR first, which VISA tools find and try first, when
// VXI-11 is served; then the SCPI socket's TCPIP::HOST::PORT::SOCKET. An IPv6 address is
// bracketed.
std::vector<std::string> resourceStringsAt(std::string_view host, int socketPort, bool vxi11);

} // namespace varlo::scpi::web
