#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varlo::scpi::web {

// A host and port as a request names them, the host in lower case, without a final dot, an
// IPv6 address in brackets ("[::1]"); port 80 where none is written.
struct NamedHost {
    std::string host;
    int port = 80;
    friend bool operator==(const NamedHost&, const NamedHost&) = default;
};

// "127.0.0.1:8080", "Bench.local.", "[::1]:8080"; nullopt when it is not of that form.
std::optional<NamedHost> readHost(std::string_view text);

// Whether a request's Host names this program: one of the names it answers to (addresses
// written as readHost writes them) and its port. Anything else may be another site's name
// for this machine, the way DNS rebinding reaches a service on a lab PC.
bool isServedHost(std::string_view hostHeader, const std::vector<std::string>& names, int port);

// Whether a request may change or run something: no Origin at all (not a browser page), or
// the origin of the page this program served under the same Host.
bool isSameOrigin(std::optional<std::string_view> origin, std::string_view hostHeader);

} // namespace varlo::scpi::web
