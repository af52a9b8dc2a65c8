#pragma once

#include "entry/checked.h"
#include "scpi_client/server_address.h"

#include <optional>
#include <string>
#include <string_view>

namespace varlo::scpi {

// Where the program listens: unless told, where the panel and varlo-send look for it.
struct ListenAddress {
    std::string host = ServerAddress{}.host;
    int port = ServerAddress{}.port;
    friend bool operator==(const ListenAddress&, const ListenAddress&) = default;
};

// --listen: "5026", "0.0.0.0:5025" or "[::]:5025". The port is 0 (any free one) to 65535;
// the address itself is read by whoever binds it.
Checked<ListenAddress> parseListenAddress(std::string_view text);

// The web page's port unless told.
inline constexpr int DefaultHttpPort = 8080;

// --http: "off" (nullopt), a port alone on the --listen address, or an address and port read
// as --listen reads them.
Checked<std::optional<ListenAddress>> parseHttpAddress(std::string_view text,
                                                       const ListenAddress& listen);

} // namespace varlo::scpi
