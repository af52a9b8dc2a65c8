#include "scpi/listen_address.h"

#include "entry/host_and_port.h"
#include "entry/whole_number.h"

namespace varlo::scpi {

namespace {

// "[ADDRESS:]PORT" with the address in brackets when it is IPv6; nullopt when it is not of
// that form.
std::optional<ListenAddress> readAddress(std::string_view text, const std::string& defaultHost)
{
    const std::optional<HostAndPort> split = splitHostAndPort(text);
    if (!split)
        return std::nullopt;
    ListenAddress address{defaultHost};
    std::string_view port = split->host;
    if (split->port) {
        if (split->host.empty())
            return std::nullopt;
        address.host = split->host;
        port = *split->port;
    } else if (split->bracketed || split->host.find(':') != std::string_view::npos) {
        return std::nullopt; // an address alone: the port is what cannot be left out
    }
    const std::optional<int> number = wholeNumber(port, 0, 65535);
    if (!number)
        return std::nullopt;
    address.port = *number;
    return address;
}

} // namespace

Checked<ListenAddress> parseListenAddress(std::string_view text)
{
    if (auto address = readAddress(text, ListenAddress{}.host))
        return *address;
    return Refusal{"--listen takes [ADDRESS:]PORT such as 5025, 0.0.0.0:5025 or [::]:5025, not \"" +
                   std::string(text) + "\""};
}

Checked<std::optional<ListenAddress>> parseHttpAddress(std::string_view text,
                                                       const ListenAddress& listen)
{
    if (text == "off")
        return std::optional<ListenAddress>();
    if (auto address = readAddress(text, listen.host))
        return address;
    return Refusal{"--http takes [ADDRESS:]PORT such as 8080 or 0.0.0.0:8080, or off, not \"" +
                   std::string(text) + "\""};
}

} // namespace varlo::scpi
