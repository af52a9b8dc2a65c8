#pragma once

#include "entry/checked.h"

#include <string>
#include <string_view>

namespace varlo {

// Where varlo-scpi serves the generator, for the programs that go through it: loopback at
// the raw socket port of LXI instruments unless told otherwise.
struct ServerAddress {
    std::string host = "127.0.0.1";
    int port = 5025;
    friend bool operator==(const ServerAddress&, const ServerAddress&) = default;
};

// --connect: [HOST][:PORT], either part left out for its default: "", "bench-pc",
// ":5026", "192.168.1.20:5025", "[::1]:5025" (an IPv6 address in brackets, or bare without
// a port). The port is 1 to 65535; the host is a name or an address, looked up on connecting.
Checked<ServerAddress> parseServerAddress(std::string_view text);

// "127.0.0.1:5025", "[::1]:5025": as the user names the server.
std::string serverText(const ServerAddress& server);

} // namespace varlo
