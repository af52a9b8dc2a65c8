#include "scpi/mdns/announcement.h"

#include <algorithm>

namespace varlo::scpi {

namespace {

// The longest start of a UTF-8 text that fits in `bytes` without cutting a character.
std::string_view fitted(std::string_view text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

bool isUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x06 ? 2
                                   : (lead >> 4) == 0x0E ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

} // namespace

std::string defaultServiceName(std::string_view hostName, std::string_view portName)
{
    const std::string head = "Varlo generator on ";
    const std::string tail = " (" + std::string(portName) + ")";
    const std::size_t room = MaxServiceNameBytes - std::min(MaxServiceNameBytes, head.size());
    const std::string_view host =
        fitted(hostName, room > tail.size() ? room - tail.size() : std::size_t{0});
    return std::string(fitted(head + std::string(host) + tail, MaxServiceNameBytes));
}

Checked<std::string> parseServiceName(std::string_view text)
{
    const bool control = std::ranges::any_of(
        text, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    if (text.empty() || text.size() > MaxServiceNameBytes || control || !isUtf8(text))
        return Refusal{"--name takes 1 to 63 bytes of text without control characters, not \"" +
                       std::string(fitted(text, 80)) + "\""};
    return std::string(text);
}

Announcement announcementOf(std::string name, int scpiPort, std::optional<int> webPort,
                            const InstrumentIdentity& identity, std::optional<int> vxi11Port)
{
    const std::vector<std::string> txt = {
        "txtvers=1",
        "Manufacturer=" + identity.manufacturer,
        "Model=" + identity.model,
        "SerialNumber=" + identity.serialNumber,
        "FirmwareVersion=" + identity.firmwareVersion,
    };
    Announcement announcement{std::move(name), {{"_scpi-raw._tcp", scpiPort, txt}}};
    if (vxi11Port)
        announcement.services.push_back({"_vxi-11._tcp", *vxi11Port, txt});
    if (webPort) {
        announcement.services.push_back({"_lxi._tcp", *webPort, txt});
        std::vector<std::string> web = txt;
        web.push_back("path=/");
        announcement.services.push_back({"_http._tcp", *webPort, std::move(web)});
    }
    return announcement;
}

} // namespace varlo::scpi
