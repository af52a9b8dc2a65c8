#include "app/command_line.h"

#include "program/exit_status.h"
#include "program/refusal.h"
#include "scpi_client/server_address.h"
#include "serial/port_names.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace varlo {

namespace {

QString description()
{
    return QStringLiteral(
               "Front panel for a laboratory function generator on an RS-232 line.\n"
               "\n"
               "Started without options, Varlo tries the ports COM16 down to COM1 at 9600 baud, "
               "no parity,\n8 data bits, 1 stop bit, asks about each one that opens and keeps "
               "the first one accepted.\n"
               "COM1-COM4 are /dev/ttyS0-3, COM5-COM10 /dev/ttyUSB0-5, COM11-COM16 "
               "/dev/ttyACM0-5.\n"
               "\n"
               "Environment:\n"
               "  %1  A directory whose entries COM1 to COM16 stand for the ports;\n"
               "                  nothing else is tried. Links are followed to the device, "
               "e.g.\n"
               "                  $%1/COM3 -> /dev/serial/by-id/usb-...\n"
               "                  varlo-instrument prints the line to set it.\n"
               "\n"
               "With --connect [HOST][:PORT], Varlo goes through varlo-scpi there (default "
               "127.0.0.1:5025)\ninstead of a serial port: no port is tried, and the panel "
               "shows what the generator holds,\nalso as other programs set it.")
        .arg(QString::fromLatin1(PortDirVariable));
}

// "--connect=HOST" as "--connect HOST": the address is the argument after the option.
QStringList connectValueApart(const QStringList& arguments)
{
    const QString joined = QStringLiteral("--connect=");
    QStringList apart;
    for (const QString& argument : arguments) {
        if (argument.startsWith(joined))
            apart << argument.left(joined.size() - 1) << argument.mid(joined.size());
        else
            apart << argument;
    }
    return apart;
}

} // namespace

std::variant<int, PanelStart> answerCommandLine(int argc, char** argv)
{
    if (argc <= 1)
        return PanelStart{};

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varlo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VARLO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption connectOption(
        QStringLiteral("connect"),
        QStringLiteral("Go through varlo-scpi at [HOST][:PORT], given after the option, instead "
                       "of a serial port (default 127.0.0.1:5025)."));
    parser.addOption(connectOption);
    if (!parser.parse(connectValueApart(QCoreApplication::arguments())))
        return refuse(parser.errorText().toStdString());
    const QStringList extra = parser.positionalArguments();
    const bool connecting = parser.isSet(connectOption);
    if (extra.size() > (connecting ? 1 : 0))
        return refuse(QStringLiteral("unexpected argument '%1'")
                          .arg(extra.at(connecting ? 1 : 0))
                          .toStdString());
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"))) {
        // process() prints them and ends the program.
        parser.process(app);
        return exit_status::Success;
    }
    if (!connecting)
        return PanelStart{}; // only "--": the panel as without options
    const Checked<ServerAddress> server =
        parseServerAddress(extra.isEmpty() ? std::string() : extra.first().toStdString());
    if (const Refusal* refusal = refusalOf(server))
        return refuse(refusal->message);
    return PanelStart{std::get<ServerAddress>(server)};
}

} // namespace varlo
