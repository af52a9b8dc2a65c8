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

std::string portStateWord(GeneratorLink::PortState state)
{
    switch (state) {
    case GeneratorLink::PortState::Open:
        return "open";
    case GeneratorLink::PortState::Stalled:
        return "stalled";
    case GeneratorLink::PortState::Gone:
        return "gone";
    case GeneratorLink::PortState::WaitingForPort:
        return "waiting";
    }
    return {};
}

// The addresses of this machine the SCPI socket can be reached at, separated by commas.
std::string scpiAddresses(const ServedFacts& facts)
{
    if (facts.scpiAddress != QHostAddress::AnyIPv4 && facts.scpiAddress != QHostAddress::AnyIPv6 &&
        facts.scpiAddress != QHostAddress::Any)
        return facts.scpiAddress.toString().toStdString();
    const bool ipv4Only = facts.scpiAddress == QHostAddress::AnyIPv4;
    QStringList addresses;
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv6Protocol &&
            (ipv4Only || address.isLinkLocal()))
            continue;
        addresses.append(plainAddress(address).toString());
    }
    return addresses.join(QStringLiteral(", ")).toStdString();
}

std::string counted(int count, const std::string& one, const std::string& many)
{
    return std::to_string(count) + (count == 1 ? one : many);
}

std::string clientsText(ClientCounts clients)
{
    return std::to_string(clients.scpi) + " on the SCPI socket, " +
           counted(clients.vxi11, " VXI-11 link, ", " VXI-11 links, ") +
           counted(clients.pages, " page", " pages") + " open";
}

std::string lockText(const PageLock& lock)
{
    if (!lock.holder)
        return "";
    if (lock.heldHere)
        return "This page holds the generator's lock (SYST:LOCK:REL in the console frees it).";
    return "Locked by " + *lock.holder + ": Enter is refused until it frees the lock.";
}

std::string sweepText(const std::optional<SweepWatch::Sweep>& sweep)
{
    if (!sweep)
        return "";
    return "An oscilloscope is sweeping the generator (a Bode plot): step " +
           std::to_string(sweep->steps) + ", last at " +
           frequencyWithUnit(sweep->wholeHz, sweep->hundredths) + ".";
}

// {"id": "text" or ["item", ...], ...}
QJsonObject shownObject(const std::vector<PageFact>& facts)
{
    QJsonObject shown;
    for (const PageFact& fact : facts) {
        const QString id = text(fact.id);
        if (const auto* words = std::get_if<std::string>(&fact.shown)) {
            shown.insert(id, text(*words));
            continue;
        }
        QJsonArray items;
        for (const std::string& item : std::get<std::vector<std::string>>(fact.shown))
            items.append(text(item));
        shown.insert(id, items);
    }
    return shown;
}

} // namespace

std::vector<PageFact> statusFacts(const PageStatus& status)
{
    const GeneratorState& held = status.held;
    return {
        {"held-frequency", frequencyWithUnit(held.wholeHz, held.hundredths)},
        {"held-waveform", waveformName(held.waveform)},
        {"held-attenuator", held.attenuatorOn ? "on (−20 dB)" : "off"},
        {"held-duty",
         std::to_string(held.dutyPercent) + " %" + (held.dutyAdjusted ? "" : " (not adjusted)")},
        {"port", status.portName.toStdString() + ": " + portStateWord(status.portState)},
        {"clients", clientsText(status.clients)},
        {"lock", lockText(status.lock)},
        {"sweep", sweepText(status.sweep)},
    };
}

std::vector<PageFact> aboutFacts(const ServedFacts& facts, const QHostAddress& local)
{
    const InstrumentIdentity& identity = instrumentIdentity();
    const std::string serviceName = facts.serviceName.toStdString();
    return {
        {"page-title", serviceName},
        {"title", serviceName},
        {"idn", scpi::identity()},
        {"manufacturer", identity.manufacturer},
        {"model", identity.model},
        {"serial-number", identity.serialNumber},
        {"firmware-version", identity.firmwareVersion},
        {"service-name", serviceName},
        {"host-name", facts.hostName.toStdString()},
        {"addresses", scpiAddresses(facts)},
        {"resources", resourceStrings(facts, local)},
    };
}

QByteArray statusMessage(const PageStatus& status)
{
    const PageLock& lock = status.lock;
    const QJsonValue lockValue =
        lock.holder ? QJsonValue(QJsonObject{{QStringLiteral("holder"), text(*lock.holder)},
                                             {QStringLiteral("here"), lock.heldHere}})
                    : QJsonValue(QJsonValue::Null);
    const GeneratorState& held = status.held;
    const QJsonObject message = {
        {QStringLiteral("shown"), shownObject(statusFacts(status))},
        {QStringLiteral("hertz"), text(plainHertz(held.wholeHz, held.hundredths))},
        {QStringLiteral("shape"), text(waveformMnemonic(held.waveform))},
        {QStringLiteral("attenuator"), held.attenuatorOn},
        {QStringLiteral("duty"), held.dutyPercent},
        {QStringLiteral("lock"), lockValue},
    };
    return QJsonDocument(QJsonObject{{QStringLiteral("status"), message}})
        .toJson(QJsonDocument::Compact);
}

QByteArray aboutMessage(const ServedFacts& facts, const QHostAddress& local)
{
    const QJsonObject about = {{QStringLiteral("shown"), shownObject(aboutFacts(facts, local))}};
    return QJsonDocument(QJsonObject{{QStringLiteral("about"), about}})
        .toJson(QJsonDocument::Compact);
}

} // namespace varlo::scpi::web
