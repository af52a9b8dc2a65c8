#include "scpi/scpi_options.h"

#include "entry/host_and_port.h"
#include "entry/whole_number.h"
#include "scpi/language/instrument_identity.h"
#include "scpi/mdns/announcement.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace varlo::scpi {

namespace {

// What the listening needs to know of an address, read as the system reads it.
struct IpAddress {
    bool loopback = false;
    bool broadcast = false;
    bool multicast = false;
};

IpAddress ipv4Address(std::uint32_t address)
{
    return {(address >> 24) == 127, address == 0xFFFF'FFFF, (address >> 28) == 0xE};
}

// An IPv4 address in any form the system's resolver reads ("127.0.0.1", also "127.1"), or
// IPv6 with or without a scope ("fe80::1%eth0"); nullopt for anything else, a host name
// included.
std::optional<IpAddress> ipAddress(const std::string& host)
{
    // inet_aton would also take what follows a blank.
    const bool ipv4Characters = !host.empty() && std::ranges::all_of(host, [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) || c == '.' || c == 'x' || c == 'X';
    });
    in_addr v4{};
    if (ipv4Characters && inet_aton(host.c_str(), &v4) != 0)
        return ipv4Address(ntohl(v4.s_addr));
    const std::string unscoped = host.substr(0, host.find('%'));
    in6_addr v6{};
    if (inet_pton(AF_INET6, unscoped.c_str(), &v6) != 1)
        return std::nullopt;
    const std::uint8_t* bytes = v6.s6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&v6))
        return ipv4Address(std::uint32_t{bytes[12]} << 24 | std::uint32_t{bytes[13]} << 16 |
                           std::uint32_t{bytes[14]} << 8 | bytes[15]);
    return IpAddress{static_cast<bool>(IN6_IS_ADDR_LOOPBACK(&v6)), false, bytes[0] == 0xFF};
}

Refusal notAnIpAddress(std::string_view option, const std::string& host)
{
    return Refusal{std::string(option) +
                   " takes an IP address such as 127.0.0.1, 0.0.0.0 or [::], not \"" + host + "\""};
}

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

// --listen: "5026", "0.0.0.0:5025" or "[::]:5025", an address of this machine.
Checked<ListenAddress> readListen(const std::optional<std::string>& text)
{
    if (!text)
        return ListenAddress{};
    const std::optional<ListenAddress> listen = readAddress(*text, ListenAddress{}.host);
    if (!listen)
        return Refusal{"--listen takes [ADDRESS:]PORT such as 5025, 0.0.0.0:5025 or [::]:5025, "
                       "not \"" +
                       *text + "\""};
    const std::optional<IpAddress> address = ipAddress(listen->host);
    if (!address)
        return notAnIpAddress("--listen", listen->host);
    if (address->broadcast || address->multicast)
        return Refusal{"--listen takes an address of this machine, not the " +
                       std::string(address->broadcast ? "broadcast" : "multicast") + " address \"" +
                       listen->host + "\""};
    return *listen;
}

// --http: "off" (nullopt), a port alone on the --listen address, or an address and port read
// as --listen reads them.
Checked<std::optional<ListenAddress>> readHttp(const std::optional<std::string>& text,
                                               const ListenAddress& listen)
{
    if (!text)
        return std::optional<ListenAddress>(ListenAddress{listen.host, DefaultHttpPort});
    if (*text == "off")
        return std::optional<ListenAddress>();
    const std::optional<ListenAddress> http = readAddress(*text, listen.host);
    if (!http)
        return Refusal{"--http takes [ADDRESS:]PORT such as 8080 or 0.0.0.0:8080, or off, not \"" +
                       *text + "\""};
    if (!ipAddress(http->host))
        return notAnIpAddress("--http", http->host);
    return http;
}

Checked<LabNetworkSettings> readLabNetwork(const OptionTexts& texts, const ListenAddress& listen)
{
    LabNetworkSettings settings;
    settings.httpGiven = texts.http.has_value();
    const auto http = readHttp(texts.http, listen);
    if (const Refusal* refusal = refusalOf(http))
        return *refusal;
    settings.http = std::get<std::optional<ListenAddress>>(http);

    if (texts.mdns && texts.noMdns)
        return Refusal{"--mdns and --no-mdns cannot both be given"};
    const auto beyondLoopback = [](const ListenAddress& address) {
        return !ipAddress(address.host)->loopback;
    };
    if (texts.mdns || texts.noMdns)
        settings.announce = texts.mdns;
    else
        settings.announce =
            beyondLoopback(listen) || (settings.http && beyondLoopback(*settings.http));

    if (texts.name) {
        const Checked<std::string> name = parseServiceName(*texts.name);
        if (const Refusal* refusal = refusalOf(name))
            return *refusal;
        settings.serviceName = std::get<std::string>(name);
    } else {
        settings.serviceName = defaultServiceName(texts.hostName, texts.port.value_or(""));
    }

    if (texts.serial) {
        if (!isSerialNumberText(*texts.serial))
            return Refusal{"--serial takes 1 to 64 printable characters without blanks, commas, "
                           "semicolons or quotes, not \"" +
                           *texts.serial + "\""};
        settings.serialNumber = *texts.serial;
    }
    return settings;
}

// --clients and --idle: a whole number within its bounds, or the default.
std::optional<int> wholeNumberOr(const std::optional<std::string>& text, int lowest, int highest,
                                 int otherwise)
{
    return text ? wholeNumber(*text, lowest, highest) : otherwise;
}

} // namespace

Checked<ScpiOptions> readScpiOptions(const OptionTexts& texts)
{
    ScpiOptions options;
    if (!texts.port)
        return Refusal{"--port is required"};
    options.portText = *texts.port;
    const Checked<PortChoice> port = parsePort(*texts.port);
    if (const Refusal* refusal = refusalOf(port))
        return *refusal;
    options.port = std::get<PortChoice>(port);

    const Checked<LineSettings> settings =
        parseSettingsOption(texts.settings.value_or("9600,N,8,1"));
    if (const Refusal* refusal = refusalOf(settings))
        return *refusal;
    options.settings = std::get<LineSettings>(settings);

    const Checked<ListenAddress> listen = readListen(texts.listen);
    if (const Refusal* refusal = refusalOf(listen))
        return *refusal;
    options.listen = std::get<ListenAddress>(listen);

    const std::optional<int> clients = wholeNumberOr(texts.clients, 1, MostClients, DefaultClients);
    if (!clients)
        return Refusal{"--clients takes a whole number from 1 to " + std::to_string(MostClients) +
                       ", not \"" + *texts.clients + "\""};
    options.clients = *clients;

    const std::optional<int> idle =
        wholeNumberOr(texts.idle, 0, MostIdleSeconds, DefaultIdleSeconds);
    if (!idle)
        return Refusal{"--idle takes a whole number of seconds from 0 to " +
                       std::to_string(MostIdleSeconds) + ", not \"" + *texts.idle + "\""};
    options.idleSeconds = *idle;

    const Checked<LabNetworkSettings> labNetwork = readLabNetwork(texts, options.listen);
    if (const Refusal* refusal = refusalOf(labNetwork))
        return *refusal;
    options.labNetwork = std::get<LabNetworkSettings>(labNetwork);

    if (texts.vxi11 == "off") {
        options.vxi11.reset();
    } else if (texts.vxi11) {
        options.vxi11 = wholeNumber(*texts.vxi11, 1, 65535 - Vxi11PortsAfter);
        if (!options.vxi11)
            return Refusal{"--vxi11 takes a port from 1 to " +
                           std::to_string(65535 - Vxi11PortsAfter) + ", or off, not \"" +
                           *texts.vxi11 + "\""};
    }
    options.labNetwork.vxi11 = options.vxi11.has_value();

    const auto portmapper = readPortmapperMode(texts.portmapper.value_or("auto"));
    if (!portmapper)
        return Refusal{"--portmapper takes auto, own, system or off, not \"" + *texts.portmapper +
                       "\""};
    options.portmapper = *portmapper;

    options.waitForPort = texts.waitForPort;
    options.logCommands = !texts.quiet;
    return options;
}

} // namespace varlo::scpi
