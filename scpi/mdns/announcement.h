#pragma once

#include "entry/checked.h"
#include "scpi/language/instrument_identity.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varlo::scpi {

// What the program announces on the lab network by multicast DNS: one name for all of its
// services, each with its TXT record strings in the order they go out.
struct AnnouncedService {
    std::string type; // "_scpi-raw._tcp"
    int port = 0;
    std::vector<std::string> txt;
    friend bool operator==(const AnnouncedService&, const AnnouncedService&) = default;
};

struct Announcement {
    std::string name;
    std::vector<AnnouncedService> services;
};

// A service name is at most this many bytes of UTF-8.
inline constexpr std::size_t MaxServiceNameBytes = 63;

// "Varlo generator on HOSTNAME (PORT)", the host name shortened where the whole would be too
// long, so that the port, which tells two generators of one machine apart, stays.
std::string defaultServiceName(std::string_view hostName, std::string_view portName);

// --name: 1 to 63 bytes of UTF-8 without control characters.
Checked<std::string> parseServiceName(std::string_view text);

// The raw SCPI socket always; the VXI-11 core channel, as LXI instruments announce it, when
// it is served; the LXI and web services on the web port when there is one. Each TXT record
// starts with txtvers=1 and names the four fields of *IDN?; the web service's adds path=/.
Announcement announcementOf(std::string name, int scpiPort, std::optional<int> webPort,
                            const InstrumentIdentity& identity,
                            std::optional<int> vxi11Port = std::nullopt);

} // namespace varlo::scpi
