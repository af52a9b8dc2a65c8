#include "scpi/listen_address.h"

#include <charconv>

namespace varlo::scpi {

namespace {

bool readPort(std::string_view text, int& port)
{
    if (text.empty() || text.size() > 5)
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    std::from_chars(text.data(), text.data() + text.size(), port);
    return port <= 65535;
}

} // namespace

Checked<ListenAddress> parseListenAddress(std::string_view text)
{
    ListenAddress address;
    std::string_view port = text;
    if (text.starts_with('[')) {
        const std::size_t close = text.find("]:");
        if (close == std::string_view::npos || close == 1)
            port = {};
        else {
            address.host = text.substr(1, close - 1);
            port = text.substr(close + 2);
        }
    } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
        address.host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (address.host.empty())
            port = {};
    }
    if (!readPort(port, address.port))
        return Refusal{"--listen takes [ADDRESS:]PORT such as 5025, 0.0.0.0:5025 or [::]:5025, "
                       "not \"" +
                       std::string(text) + "\""};
    return address;
}

} // namespace varlo::scpi
