#include "entry/host_and_port.h"

#include <algorithm>

namespace varlo {

std::optional<HostAndPort> splitHostAndPort(std::string_view text)
{
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        const std::string_view rest = text.substr(close + 1);
        if (rest.empty())
            return HostAndPort{text.substr(1, close - 1), std::nullopt, true};
        if (!rest.starts_with(':'))
            return std::nullopt;
        return HostAndPort{text.substr(1, close - 1), rest.substr(1), true};
    }
    // Two colons or more: an IPv6 address, which needs brackets to be given a port.
    if (std::ranges::count(text, ':') >= 2)
        return HostAndPort{text, std::nullopt, false};
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return HostAndPort{text, std::nullopt, false};
    return HostAndPort{text.substr(0, colon), text.substr(colon + 1), false};
}

bool hasIpv6Form(std::string_view text)
{
    return std::ranges::count(text, ':') >= 2 && std::ranges::all_of(text, [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                      c == ':' || c == '.';
           });
}

std::string bracketedHost(std::string_view host)
{
    if (host.find(':') == std::string_view::npos)
        return std::string(host);
    // Appended rather than added up: GCC 12 at -O3 warns of an overlap in "[" + text.
    std::string bracketed;
    bracketed.reserve(host.size() + 2);
    bracketed.append("[").append(host).append("]");
    return bracketed;
}

std::string hostAndPortText(std::string_view host, int port)
{
    return bracketedHost(host) + ":" + std::to_string(port);
}

} // namespace varlo
