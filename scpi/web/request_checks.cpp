#include "scpi/web/request_checks.h"

#include "entry/host_and_port.h"
#include "entry/whole_number.h"

#include <algorithm>

namespace varlo::scpi::web {

namespace {

std::string lowerCase(std::string_view text)
{
    std::string lower(text);
    std::ranges::transform(lower, lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return lower;
}

bool isHostCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

} // namespace

std::optional<NamedHost> readHost(std::string_view text)
{
    const std::optional<HostAndPort> split = splitHostAndPort(text);
    if (!split)
        return std::nullopt;
    NamedHost named;
    if (split->bracketed) {
        if (!hasIpv6Form(split->host))
            return std::nullopt;
        named.host.append(1, '[').append(lowerCase(split->host)).append(1, ']');
    } else {
        named.host = lowerCase(split->host);
        if (named.host.ends_with('.'))
            named.host.pop_back();
        if (named.host.empty() || !std::ranges::all_of(named.host, isHostCharacter))
            return std::nullopt;
    }
    if (split->port) {
        const std::optional<int> number = wholeNumber(*split->port, 1, 65535);
        if (!number)
            return std::nullopt;
        named.port = *number;
    }
    return named;
}

bool isServedHost(std::string_view hostHeader, const std::vector<std::string>& names, int port)
{
    const std::optional<NamedHost> named = readHost(hostHeader);
    if (!named || named->port != port)
        return false;
    return std::ranges::any_of(names, [&](const std::string& name) {
        const std::string lower = lowerCase(name);
        // A bare IPv6 address is written in brackets in Host.
        if (lower.find(':') != std::string::npos && !lower.starts_with('['))
            return named->host.size() == lower.size() + 2 && named->host.front() == '[' &&
                   named->host.back() == ']' &&
                   std::string_view(named->host).substr(1, lower.size()) == lower;
        return lower == named->host;
    });
}

bool isSameOrigin(std::optional<std::string_view> origin, std::string_view hostHeader)
{
    if (!origin)
        return true;
    constexpr std::string_view Scheme = "http://";
    if (!origin->starts_with(Scheme))
        return false;
    const std::optional<NamedHost> from = readHost(origin->substr(Scheme.size()));
    const std::optional<NamedHost> to = readHost(hostHeader);
    return from && to && *from == *to;
}

} // namespace varlo::scpi::web
