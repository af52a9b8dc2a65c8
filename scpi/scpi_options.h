#pragma once

#include "entry/checked.h"
#include "scpi/portmapper/portmapper_mode.h"
#include "scpi_client/server_address.h"
#include "serial/line_settings.h"
#include "serial/port_choice.h"

#include <optional>
#include <string>
#include <string_view>

namespace varlo::scpi {

inline constexpr int DefaultClients = 4;
inline constexpr int MostClients = 1000;
inline constexpr int DefaultIdleSeconds = 30;
inline constexpr int MostIdleSeconds = 86400;
// The web page's port unless told.
inline constexpr int DefaultHttpPort = 8080;
// --vxi11 PORT takes this port and the few after it (the core channel's set and the abort
// channel), all below 65536.
inline constexpr int Vxi11PortsAfter = 4;

// Where the program listens: unless told, where the panel and varlo-send look for it.
struct ListenAddress {
    std::string host = ServerAddress{}.host;
    int port = ServerAddress{}.port;
    friend bool operator==(const ListenAddress&, const ListenAddress&) = default;
};

// What the user asked of the program on the lab network.
struct LabNetworkSettings {
    // Where the web page is served; none with --http off.
    std::optional<ListenAddress> http;
    // --http was given: not being able to serve there ends the program.
    bool httpGiven = false;
    bool announce = false;
    std::string serviceName;
    std::optional<std::string> serialNumber;
    // VXI-11 serves the generator (unless --vxi11 off): the page and the identification
    // document show its INSTR resource strings first.
    bool vxi11 = true;
};

// The options' texts as the command line gave them, nullopt for one not given; the flags are
// whether each was given. A new option adds its text here and its reading to readScpiOptions.
struct OptionTexts {
    std::optional<std::string> port{};
    std::optional<std::string> listen{};
    std::optional<std::string> settings{};
    std::optional<std::string> clients{};
    std::optional<std::string> idle{};
    std::optional<std::string> http{};
    std::optional<std::string> name{};
    std::optional<std::string> serial{};
    std::optional<std::string> vxi11{};
    std::optional<std::string> portmapper{};
    bool waitForPort = false;
    bool quiet = false;
    bool mdns = false;
    bool noMdns = false;
    // The machine's name, for the default announced name.
    std::string hostName{};
};

// Every option read and checked, the defaults filled in.
struct ScpiOptions {
    PortChoice port;
    // --port as given, as the announced name and the web page name the port.
    std::string portText;
    LineSettings settings;
    ListenAddress listen;
    int clients = DefaultClients;
    int idleSeconds = DefaultIdleSeconds;
    bool waitForPort = false;
    bool logCommands = true;
    LabNetworkSettings labNetwork;
    // --vxi11: the first of the core channel's fixed ports, 0 for ports the system gives;
    // none with off.
    std::optional<int> vxi11 = 0;
    PortmapperMode portmapper = PortmapperMode::Auto;
};

// The options, or the first refusal in the order the options are listed in varlo-scpi(1).
// Announcing is the default when the SCPI socket or the page listens beyond loopback.
Checked<ScpiOptions> readScpiOptions(const OptionTexts& texts);

} // namespace varlo::scpi
