#include "scpi/lab_network_options.h"

#include "scpi/language/instrument_identity.h"
#include "scpi/mdns/announcement.h"
#include "serial/adapter_serial_number.h"

#include <QHostAddress>
#include <QSysInfo>

namespace varlo::scpi::web {

namespace {

bool isLoopback(const ListenAddress& address)
{
    return QHostAddress(QString::fromStdString(address.host)).isLoopback();
}

} // namespace

LabNetworkOptions::LabNetworkOptions()
    : http_(QStringLiteral("http"),
            QStringLiteral("Where to serve the web page: PORT on the --listen address, "
                           "ADDRESS:PORT, or off. Default: the --listen address, port %1.")
                .arg(DefaultHttpPort),
            QStringLiteral("[ADDRESS:]PORT|off")),
      mdns_(QStringLiteral("mdns"),
            QStringLiteral("Announce the program on the lab network through the Avahi daemon. "
                           "The default when it listens beyond loopback.")),
      noMdns_(QStringLiteral("no-mdns"), QStringLiteral("Do not announce the program.")),
      name_(QStringLiteral("name"),
            QStringLiteral("The name it is announced and described by, at most 63 bytes. "
                           "Default: Varlo generator on HOSTNAME (PORT)."),
            QStringLiteral("TEXT")),
      serial_(QStringLiteral("serial"),
              QStringLiteral("The serial number *IDN? answers. Default: the USB adapter's, "
                             "else 0."),
              QStringLiteral("TEXT"))
{
}

QList<QCommandLineOption> LabNetworkOptions::all() const
{
    return {http_, mdns_, noMdns_, name_, serial_};
}

Checked<LabNetworkSettings> LabNetworkOptions::read(const QCommandLineParser& parser,
                                                    const ListenAddress& listen,
                                                    const std::string& portName) const
{
    LabNetworkSettings settings;
    settings.httpGiven = parser.isSet(http_);
    if (settings.httpGiven) {
        const auto http = parseHttpAddress(parser.value(http_).toStdString(), listen);
        if (const Refusal* refusal = refusalOf(http))
            return *refusal;
        settings.http = std::get<std::optional<ListenAddress>>(http);
    } else {
        settings.http = ListenAddress{listen.host, DefaultHttpPort};
    }
    if (settings.http && QHostAddress(QString::fromStdString(settings.http->host)).isNull())
        return Refusal{"--http takes an IP address such as 127.0.0.1, 0.0.0.0 or [::], not \"" +
                       settings.http->host + "\""};

    if (parser.isSet(mdns_) && parser.isSet(noMdns_))
        return Refusal{"--mdns and --no-mdns cannot both be given"};
    if (parser.isSet(mdns_) || parser.isSet(noMdns_))
        settings.announce = parser.isSet(mdns_);
    else
        settings.announce = !isLoopback(listen) || (settings.http && !isLoopback(*settings.http));

    if (parser.isSet(name_)) {
        const Checked<std::string> name = parseServiceName(parser.value(name_).toStdString());
        if (const Refusal* refusal = refusalOf(name))
            return *refusal;
        settings.serviceName = std::get<std::string>(name);
    } else {
        settings.serviceName =
            defaultServiceName(QSysInfo::machineHostName().toStdString(), portName);
    }

    if (parser.isSet(serial_)) {
        const std::string serial = parser.value(serial_).toStdString();
        if (!isSerialNumberText(serial))
            return Refusal{"--serial takes 1 to 64 printable characters without blanks, commas, "
                           "semicolons or quotes, not \"" +
                           serial + "\""};
        settings.serialNumber = serial;
    }
    return settings;
}

std::string serialNumberOf(const LabNetworkSettings& settings, const PortChoice& port)
{
    if (settings.serialNumber)
        return *settings.serialNumber;
    const std::string adapter = adapterSerialNumber(port);
    return isSerialNumberText(adapter) ? adapter : InstrumentIdentity{}.serialNumber;
}

} // namespace varlo::scpi::web
