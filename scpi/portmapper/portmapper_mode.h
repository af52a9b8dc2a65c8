#pragma once

#include <optional>
#include <string_view>

namespace varlo::scpi {

// How VISA tools find the core channel: registered with the machine's rpcbind (System),
// answered by the program itself on port 111 (Own), the first of the two that can be had
// (Auto), or not at all (Off).
enum class PortmapperMode { Auto, Own, System, Off };

// --portmapper's text: auto, own, system or off.
std::optional<PortmapperMode> readPortmapperMode(std::string_view text);

} // namespace varlo::scpi
