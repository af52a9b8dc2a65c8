#include "scpi/web/served_facts.h"

#include "scpi/language/instrument_identity.h"
#include "scpi/network/listening.h"
#include "scpi/web/identification_document.h"
#include "scpi/web/resource_strings.h"

#include <QAbstractSocket>
#include <QNetworkInterface>
#include <QSysInfo>

namespace varlo::scpi::web {

namespace {

QString macAddressOf(const QHostAddress& local)
{
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry& entry : interface.addressEntries())
            if (plainAddress(entry.ip()).isEqual(local))
                return interface.hardwareAddress();
    return {};
}

} // namespace

std::string peerText(const QAbstractSocket& socket)
{
    return hostPortText(plainAddress(socket.peerAddress()), socket.peerPort()).toStdString();
}

QHostAddress plainAddress(const QHostAddress& address)
{
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    if (mapped)
        return QHostAddress(ipv4);
    QHostAddress unscoped = address;
    unscoped.setScopeId({});
    return unscoped;
}

QHostAddress scpiAddressFor(const ServedFacts& facts, const QHostAddress& local)
{
    const bool everyAddress = facts.scpiAddress == QHostAddress::AnyIPv4 ||
                              facts.scpiAddress == QHostAddress::AnyIPv6 ||
                              facts.scpiAddress == QHostAddress::Any;
    return plainAddress(everyAddress ? local : facts.scpiAddress);
}

std::vector<std::string> resourceStrings(const ServedFacts& facts, const QHostAddress& local)
{
    std::vector<std::string> strings = resourceStringsAt(
        scpiAddressFor(facts, local).toString().toStdString(), facts.scpiPort, facts.vxi11);
    for (std::string& byName :
         resourceStringsAt(facts.hostName.toStdString(), facts.scpiPort, facts.vxi11))
        strings.push_back(std::move(byName));
    return strings;
}

std::vector<std::string> servedHostNames(const ServedFacts& facts, const QHostAddress& local)
{
    const QString machine = QSysInfo::machineHostName();
    std::vector<std::string> names = {plainAddress(local).toString().toStdString(),
                                      facts.hostName.toStdString(), machine.toStdString(),
                                      (machine + QStringLiteral(".local")).toStdString()};
    if (local.isLoopback())
        names.emplace_back("localhost");
    return names;
}

std::string identificationFor(const ServedFacts& facts, const QHostAddress& local,
                              const QString& hostHeader)
{
    IdentificationFacts document;
    document.identity = instrumentIdentity();
    document.description = "Function generator on a serial line, set over the network by "
                           "varlo-scpi";
    document.homepageUrl = VARLO_HOMEPAGE;
    document.serviceName = facts.serviceName.toStdString();
    document.identificationUrl =
        QStringLiteral("http://%1/lxi/identification").arg(hostHeader).toStdString();
    document.addressStrings = resourceStrings(facts, local);
    document.hostName = facts.hostName.toStdString();
    document.ipAddress = plainAddress(local).toString().toStdString();
    document.macAddress = macAddressOf(plainAddress(local)).toStdString();
    return identificationDocument(document);
}

} // namespace varlo::scpi::web
