#pragma once

#include "entry/checked.h"
#include "scpi/listen_address.h"
#include "serial/port_choice.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>

#include <optional>
#include <string>

namespace varlo::scpi::web {

// What the user asked of the program on the lab network.
struct LabNetworkSettings {
    // Where the web page is served; none with --http off.
    std::optional<ListenAddress> http;
    // --http was given: not being able to serve there ends the program.
    bool httpGiven = false;
    bool announce = false;
    std::string serviceName;
    std::optional<std::string> serialNumber;
};

// --http, --mdns, --no-mdns, --name and --serial.
class LabNetworkOptions {
public:
    LabNetworkOptions();

    QList<QCommandLineOption> all() const;
    // Announcing is the default when the SCPI socket or the page listens beyond loopback.
    Checked<LabNetworkSettings> read(const QCommandLineParser& parser, const ListenAddress& listen,
                                     const std::string& portName) const;

private:
    QCommandLineOption http_;
    QCommandLineOption mdns_;
    QCommandLineOption noMdns_;
    QCommandLineOption name_;
    QCommandLineOption serial_;
};

// *IDN?'s serial number: the one given, else the USB adapter's, else 0.
std::string serialNumberOf(const LabNetworkSettings& settings, const PortChoice& port);

} // namespace varlo::scpi::web
