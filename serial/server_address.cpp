#include "serial/server_address.h"

#include "entry/whole_number.h"

#include <algorithm>

namespace varlo {

namespace {

bool isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

bool isIpv6Character(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
           c == '.';
}

bool isName(std::string_view host)
{
    return !host.empty() && std::ranges::all_of(host, isNameCharacter);
}

bool isIpv6(std::string_view host)
{
    return std::ranges::count(host, ':') >= 2 && std::ranges::all_of(host, isIpv6Character);
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
    ServerAddress server;
    std::string_view host = text;
    std::string_view port;
    bool portGiven = false;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos)
            return refusal(text);
        host = text.substr(1, close - 1);
        if (!isIpv6(host))
            return refusal(text);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return refusal(text);
        portGiven = !rest.empty();
        port = portGiven ? rest.substr(1) : rest;
    } else if (isIpv6(text)) {
        host = text;
    } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        portGiven = true;
    }
    if (!host.empty()) {
        if (!isName(host) && !isIpv6(host))
            return refusal(text);
        server.host = host;
    }
    if (portGiven) {
        const std::optional<int> number = wholeNumber(port, 1, 65535);
        if (!number)
            return refusal(text);
        server.port = *number;
    }
    return server;
}

std::string serverText(const ServerAddress& server)
{
    const std::string port = std::to_string(server.port);
    if (server.host.find(':') != std::string::npos)
        return "[" + server.host + "]:" + port;
    return server.host + ":" + port;
}

} // namespace varlo
