#include "scpi/listen_address.h"

#include "entry/whole_number.h"

namespace varlo::scpi {

namespace {

// "[ADDRESS:]PORT" with the address in brackets when it is IPv6; nullopt when it is not of
// that form.
std::optional<ListenAddress> readAddress(std::string_view text, const std::string& defaultHost)
{
    ListenAddress address{defaultHost};
    std::string_view port = text;
    if (text.starts_with('[')) {
        const std::size_t close = text.find("]:");
        if (close == std::string_view::npos || close == 1)
            return std::nullopt;
        address.host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
        address.host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (address.host.empty())
            return std::nullopt;
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
