#pragma once

#include "panel/server_connection.h"

#include <memory>
#include <string>
#include <variant>

namespace varlo {

// Loads the panel's network client (the module beside the running program, as in the build
// tree and a copy of the tests, or where it is installed) and makes a connection to
// `server`; else why it could not, in the loader's words.
std::variant<std::unique_ptr<ServerConnection>, std::string>
loadServerConnection(const ServerAddress& server);

} // namespace varlo
