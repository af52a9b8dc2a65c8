#include "scpi/listen_address.h"

#include "entry/whole_number.h"

namespace varlo::scpi {

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
    const std::optional<int> number = wholeNumber(port, 0, 65535);
    if (!number)
        return Refusal{"--listen takes [ADDRESS:]PORT such as 5025, 0.0.0.0:5025 or [::]:5025, "
                       "not \"" +
                       std::string(text) + "\""};
    address.port = *number;
    return address;
}

} // namespace varlo::scpi
