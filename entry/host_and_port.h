#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varlo {

// A host and port as people write them on a command line or in a Host header: "bench:5025",
// "[::1]:5025", "bench", "[::1]", or an IPv6 address bare, which then carries no port.
struct HostAndPort {
    std::string_view host;                // without its brackets
    std::optional<std::string_view> port; // the text after the colon, whenever there is one
    bool bracketed = false;
};

// Splits the text where the port begins; nullopt for an unclosed bracket or text after the
// bracket that is not ":PORT". Neither part is checked further: each reader has its own rules
// for what a host may be and which ports it takes.
std::optional<HostAndPort> splitHostAndPort(std::string_view text);

// Whether the text has the form of an IPv6 address: hex digits, colons (two at least) and the
// dots of an embedded IPv4 address. Whether it is a valid address is the resolver's concern.
bool hasIpv6Form(std::string_view text);

// The host as it stands before ":PORT" and in a VISA resource string: an IPv6 address in
// brackets, so that its colons are not read as the port's. No host name has a colon.
std::string bracketedHost(std::string_view host);

// The host and port as splitHostAndPort reads them back: "bench:5025", "[::1]:5025".
std::string hostAndPortText(std::string_view host, int port);

} // namespace varlo
