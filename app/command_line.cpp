#include "app/command_line.h"

#include "program/exit_status.h"
#include "serial/port_names.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

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
               "                  varlo-instrument prints the line to set it.")
        .arg(QString::fromLatin1(PortDirVariable));
}

int refuse(const QString& message)
{
    std::fprintf(stderr, "varlo: %s\nTry 'varlo --help' for the options.\n", qPrintable(message));
    return exit_status::Usage;
}

} // namespace

std::optional<int> answerCommandLine(int argc, char** argv)
{
    if (argc <= 1)
        return std::nullopt;

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varlo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VARLO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    parser.addHelpOption();
    parser.addVersionOption();
    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(parser.errorText());
    if (const QStringList extra = parser.positionalArguments(); !extra.isEmpty())
        return refuse(QStringLiteral("unexpected argument '%1'").arg(extra.first()));
    if (parser.optionNames().isEmpty())
        return std::nullopt; // only "--": the panel as without options
    // Only help and version are left; process() prints them and ends the program.
    parser.process(app);
    return 0;
}

} // namespace varlo
