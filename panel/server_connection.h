#pragma once

#include "protocol/generator_state.h"
#include "scpi_client/server_address.h"
#include "scpi_client/server_failure.h"

#include <functional>
#include <optional>
#include <string_view>
#include <variant>

namespace varlo {

// The generator through varlo-scpi, as the panel uses it. Its one implementation, over Qt
// Network, lives in a module that the panel loads only for --connect (loadServerConnection),
// so that the panel on a port neither links nor maps the network library.
class ServerConnection {
public:
    using HeldHandler = std::function<void(const GeneratorState&)>;
    using LostHandler = std::function<void(const ServerFailure&)>;

    virtual ~ServerConnection() = default;

    virtual const ServerAddress& server() const = 0;
    // nullopt once the server has sent the command, else why it has not.
    virtual std::optional<ServerFailure> setOutput(std::string_view command) = 0;
    // What the generator holds, asked and waited for.
    virtual std::variant<GeneratorState, ServerFailure> readHeld() = 0;
    // While following, each answer goes to `held` and each spell without answers to `lost`.
    virtual void reportTo(HeldHandler held, LostHandler lost) = 0;
    virtual void startFollowing() = 0;
    virtual void close() = 0;
};

// The name the module gives its one entry point, which makes a connection to `server`:
//   extern "C" ServerConnection* varlo_open_server_connection(const ServerAddress* server);
inline constexpr const char* OpenServerConnectionSymbol = "varlo_open_server_connection";
using OpenServerConnection = ServerConnection* (*)(const ServerAddress* server);

} // namespace varlo
