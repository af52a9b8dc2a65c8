#include "scpi/web/page_messages.h"

#include "protocol/command_wording.h"
#include "protocol/scpi_messages.h"
#include "scpi/generator/generator_settings.h"
#include "scpi/language/command_table.h"
#include "scpi/language/instrument_identity.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>

namespace varlo::scpi::web {

namespace {

QString text(const std::string& value)
{
    return QString::fromStdString(value);
}

QString portStateWord(GeneratorLink::PortState state)
{
    switch (state) {
    case GeneratorLink::PortState::Open:
        return QStringLiteral("open");
    case GeneratorLink::PortState::Stalled:
        return QStringLiteral("stalled");
    case GeneratorLink::PortState::Gone:
        return QStringLiteral("gone");
    case GeneratorLink::PortState::WaitingForPort:
        return QStringLiteral("waiting");
    }
    return {};
}

// The addresses of this machine the SCPI socket can be reached at.
QJsonArray scpiAddresses(const ServedFacts& facts)
{
    QJsonArray addresses;
    if (facts.scpiAddress != QHostAddress::AnyIPv4 && facts.scpiAddress != QHostAddress::AnyIPv6 &&
        facts.scpiAddress != QHostAddress::Any) {
        addresses.append(facts.scpiAddress.toString());
        return addresses;
    }
    const bool ipv4Only = facts.scpiAddress == QHostAddress::AnyIPv4;
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv6Protocol &&
            (ipv4Only || address.isLinkLocal()))
            continue;
        addresses.append(plainAddress(address).toString());
    }
    return addresses;
}

} // namespace

QByteArray statusMessage(const GeneratorState& held, GeneratorLink::PortState portState,
                         const QString& portName, ClientCounts clients, const PageLock& lock,
                         const std::optional<SweepWatch::Sweep>& sweep)
{
    const QJsonValue lockValue =
        lock.holder ? QJsonValue(QJsonObject{{QStringLiteral("holder"), text(*lock.holder)},
                                             {QStringLiteral("here"), lock.heldHere}})
                    : QJsonValue(QJsonValue::Null);
    const QJsonValue sweeping =
        sweep ? QJsonValue(QJsonObject{
                    {QStringLiteral("frequency"),
                     text(frequencyWithUnit(sweep->wholeHz, sweep->hundredths))},
                    {QStringLiteral("steps"), sweep->steps},
                })
              : QJsonValue(QJsonValue::Null);
    const QJsonObject status = {
        {QStringLiteral("frequency"), text(frequencyWithUnit(held.wholeHz, held.hundredths))},
        {QStringLiteral("hertz"), text(plainHertz(held.wholeHz, held.hundredths))},
        {QStringLiteral("waveform"), text(waveformName(held.waveform))},
        {QStringLiteral("shape"), text(waveformMnemonic(held.waveform))},
        {QStringLiteral("attenuator"), held.attenuatorOn},
        {QStringLiteral("duty"), held.dutyPercent},
        {QStringLiteral("dutyAdjusted"), held.dutyAdjusted},
        {QStringLiteral("port"), portName},
        {QStringLiteral("portState"), portStateWord(portState)},
        {QStringLiteral("scpiClients"), clients.scpi},
        {QStringLiteral("pages"), clients.pages},
        {QStringLiteral("lock"), lockValue},
        {QStringLiteral("vxi11Links"), clients.vxi11},
        {QStringLiteral("sweep"), sweeping},
    };
    return QJsonDocument(QJsonObject{{QStringLiteral("status"), status}})
        .toJson(QJsonDocument::Compact);
}

QByteArray aboutMessage(const ServedFacts& facts, const QHostAddress& local)
{
    const InstrumentIdentity& identity = instrumentIdentity();
    const QJsonObject about = {
        {QStringLiteral("idn"), text(scpi::identity())},
        {QStringLiteral("manufacturer"), text(identity.manufacturer)},
        {QStringLiteral("model"), text(identity.model)},
        {QStringLiteral("serialNumber"), text(identity.serialNumber)},
        {QStringLiteral("firmwareVersion"), text(identity.firmwareVersion)},
        {QStringLiteral("serviceName"), facts.serviceName},
        {QStringLiteral("hostName"), facts.hostName},
        {QStringLiteral("addresses"), scpiAddresses(facts)},
        {QStringLiteral("resources"),
         QJsonArray::fromStringList(scpiResourceStrings(facts, local))},
        {QStringLiteral("identification"), QStringLiteral("/lxi/identification")},
    };
    return QJsonDocument(QJsonObject{{QStringLiteral("about"), about}})
        .toJson(QJsonDocument::Compact);
}

} // namespace varlo::scpi::web
