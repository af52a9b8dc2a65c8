#pragma once

#include "scpi_client/server_address.h"

#include <optional>
#include <variant>

namespace varlo {

// How the panel is to start: through varlo-scpi when a server is given, else on a serial port.
struct PanelStart {
    std::optional<ServerAddress> server;
};

// The panel's own command line, answered before any window exists: --help and --version
// print and end, anything else it does not know is refused on stderr; --connect names the
// server to go through. Either the exit status to end with, or how to start.
// Needs no display: it runs on a QCoreApplication of its own, gone before it returns.
std::variant<int, PanelStart> answerCommandLine(int argc, char** argv);

} // namespace varlo
