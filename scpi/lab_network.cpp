#include "scpi/lab_network.h"

#include "scpi/language/instrument_identity.h"
#include "scpi/mdns/announcement.h"
#include "scpi/network/listening.h"
#include "serial/adapter_serial_number.h"

#include <QSysInfo>

#include <cstdio>

namespace varlo::scpi::web {

LabNetwork::LabNetwork(GeneratorLink& generator, const ScpiServer& scpi,
                       LabNetworkSettings settings, const QHostAddress& scpiAddress,
                       const QString& portName)
    : scpi_(scpi), settings_(std::move(settings))
{
    if (!settings_.http)
        return;
    ServedFacts facts;
    facts.serviceName = QString::fromStdString(settings_.serviceName);
    facts.hostName = QSysInfo::machineHostName();
    facts.portName = portName;
    facts.scpiAddress = scpiAddress;
    facts.scpiPort = scpi.port();
    facts.vxi11 = settings_.vxi11;
    web_ = std::make_unique<WebServer>(generator, std::move(facts));
}

bool LabNetwork::start()
{
    if (web_ && !serveWebPage())
        return false;
    if (settings_.announce) {
        announcer_ = std::make_unique<MdnsAnnouncer>(
            announcementOf(settings_.serviceName, scpi_.port(),
                           web_ ? std::optional<int>(web_->port()) : std::nullopt,
                           instrumentIdentity(), vxi11Port_));
        if (web_)
            QObject::connect(announcer_.get(), &MdnsAnnouncer::announced, web_.get(),
                             &WebServer::setAnnouncedNames);
        announcer_->start();
    }
    return true;
}

bool LabNetwork::serveWebPage()
{
    const QHostAddress address(QString::fromStdString(settings_.http->host));
    const auto port = static_cast<quint16>(settings_.http->port);
    if (const QString why = web_->listen(address, port); !why.isEmpty()) {
        const QString where = hostPortText(address, port);
        if (settings_.httpGiven) {
            std::fprintf(stderr, "varlo-scpi: cannot serve the web page on %s: %s\n",
                         qPrintable(where), qPrintable(why));
            return false;
        }
        std::fprintf(stderr,
                     "varlo-scpi: no web page: cannot listen on %s: %s (--http chooses another "
                     "port)\n",
                     qPrintable(where), qPrintable(why));
        web_.reset();
        return true;
    }
    if (!address.isLoopback())
        std::fprintf(stderr,
                     "varlo-scpi: web page on %s: anyone who can reach it can set the "
                     "generator\n",
                     qPrintable(web_->listeningOn()));
    std::printf("web page on http://%s/\n", qPrintable(web_->listeningOn()));
    std::fflush(stdout);
    return true;
}

void LabNetwork::close()
{
    if (web_)
        web_->closeConnections();
}

std::string serialNumberOf(const LabNetworkSettings& settings, const PortChoice& port)
{
    if (settings.serialNumber)
        return *settings.serialNumber;
    const std::string adapter = adapterSerialNumber(port);
    return isSerialNumberText(adapter) ? adapter : InstrumentIdentity{}.serialNumber;
}

} // namespace varlo::scpi::web
