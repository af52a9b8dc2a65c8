#pragma once

#include "scpi/generator/generator_link.h"
#include "scpi/mdns/mdns_announcer.h"
#include "scpi/scpi_options.h"
#include "scpi/socket/scpi_server.h"
#include "scpi/web/web_server.h"

#include <QHostAddress>
#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace varlo::scpi::web {

// The program on the lab network beside its SCPI socket: the web page and the
// identification document, and the announcement of both and of the socket.
class LabNetwork {
public:
    LabNetwork(GeneratorLink& generator, const ScpiServer& scpi, LabNetworkSettings settings,
               const QHostAddress& scpiAddress, const QString& portName);

    // The VXI-11 core channel's port, announced beside the socket from start() on.
    void announceVxi11(quint16 port) { vxi11Port_ = port; }
    // Serves and announces. False when the page cannot be served where --http asked; where
    // it was only the default, says so on stderr and goes on without it.
    bool start();
    // Says goodbye to the pages, as the program ends.
    void close();

private:
    bool serveWebPage();

    const ScpiServer& scpi_;
    LabNetworkSettings settings_;
    std::unique_ptr<WebServer> web_;
    std::unique_ptr<MdnsAnnouncer> announcer_;
    std::optional<int> vxi11Port_;
};

// *IDN?'s serial number: the one given, else the USB adapter's, else 0.
std::string serialNumberOf(const LabNetworkSettings& settings, const PortChoice& port);

} // namespace varlo::scpi::web
