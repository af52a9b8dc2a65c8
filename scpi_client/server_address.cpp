#include "scpi_client/server_address.h"

#include "entry/host_and_port.h"
#include "entry/whole_number.h"

#include <algorithm>

namespace varlo {

namespace {

bool isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

bool isName(std::string_view host)
{
    return !host.empty() && std::ranges::all_of(host, isNameCharacter);
}

Refusal refusal(std::string_view text)
{
    return Refusal{"--connect takes [HOST][:PORT] such as 127.0.0.1:5025, bench-pc or :5026, "
                   "not \"" +
                   std::string(text) + "\""};
}

} // namespace

Checked<ServerAddress> parseServerAddress(std::string_view text)
{
    const std::optional<HostAndPort> split = splitHostAndPort(text);
    if (!split)
        return refusal(text);
    ServerAddress server;
    // Brackets hold an IPv6 address; without them an empty host is the default one.
    if (split->bracketed || !split->host.empty()) {
        if (split->bracketed ? !hasIpv6Form(split->host)
                             : !isName(split->host) && !hasIpv6Form(split->host))
            return refusal(text);
        server.host = split->host;
    }
    if (split->port) {
        const std::optional<int> number = wholeNumber(*split->port, 1, 65535);
        if (!number)
            return refusal(text);
        server.port = *number;
    }
    return server;
}

std::string serverText(const ServerAddress& server)
{
    return hostAndPortText(server.host, server.port);
}

} // namespace varlo
