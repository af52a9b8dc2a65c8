#include "scpi/generator/generator_link.h"
#include "scpi/generator/journal.h"
#include "scpi/generator/qt_messages.h"
#include "scpi/instr/vxi11_server.h"
#include "scpi/lab_network.h"
#include "scpi/language/instrument_identity.h"
#include "scpi/portmapper/portmapper.h"
#include "scpi/scpi_options.h"
#include "scpi/socket/scpi_server.h"

#include "entry/host_and_port.h"
#include "program/exit_status.h"
#include "program/quit_on_signal.h"
#include "program/refusal.h"
#include "serial/port_choice.h"
#include "serial/serial_link.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QSysInfo>

#include <chrono>
#include <cstdio>
#include <string>

using namespace varlo;
using namespace varlo::scpi;

namespace {

const char* const Description = R"(
  varlo-scpi --port PORT [--listen [ADDRESS:]PORT] [--settings TEXT] [--clients N]
             [--idle SECONDS] [--wait-for-port] [--quiet]
             [--http [ADDRESS:]PORT|off] [--mdns|--no-mdns] [--name TEXT] [--serial TEXT]
             [--vxi11 PORT|off] [--portmapper auto|own|system|off]

Makes the function generator on the serial line a networked SCPI instrument: lab software
(pyvisa, PyMeasure, QCoDeS, LabVIEW, MATLAB) opens it as

  TCPIP::127.0.0.1::inst0::INSTR   (VXI-11; VISA's short form TCPIP::127.0.0.1::INSTR)
  TCPIP::127.0.0.1::5025::SOCKET   (the SCPI socket, lines ending in LF or CRLF)

and sets the frequency, the waveform, the duty cycle and the attenuator. Each setting is sent
as the panel's Enter sends it, paced at the line's rate.

  FREQuency <f>|MIN|MAX        0.01 Hz to 100 MHz (1000, 1e3, 1.5 kHz, 2MHZ)
  FUNCtion SIN|SQU|TRI         the waveform
  FUNCtion:SQUare:DCYCle <p>   duty cycle, 20 to 80 %
  OUTPut:ATTenuation 0|20      the -20 dB attenuator
  APPLy:SIN|SQU|TRI [<f>]      waveform and frequency in one command
  *IDN? *RST *CLS *OPC? *WAI SYSTem:ERRor?, and a "?" after a setting reads it back
  (man varlo-scpi lists every command).

Opens the port first, then listens, and prints "listening on ADDRESS:PORT". Unless --quiet,
prints a line for each command sent, as varlo-send does.

Serves a web page at http://ADDRESS:8080/ that shows what the generator holds and sets it
from any browser, and the instrument's identification at /lxi/identification. Listening
beyond loopback, it announces itself through the Avahi daemon, so that lab tools find it.

Standard error has one line for each client refused or closed for another, each loss of the
port and its return, a line that takes nothing for 10 s, and the end, also under --quiet. A
setting the port cannot take gets -241,"Hardware missing;PORT is gone" while the device is
gone, or -240,"Hardware error;..." with the cause.

Exit status: 0 after SIGINT, SIGTERM or SIGHUP (the settings still waiting are not sent, the
port is closed and the clients disconnected); 2 usage error; 3 the port could not be opened
(without --wait-for-port), or the address could not be listened on.)";

} // namespace

int main(int argc, char** argv)
{
    // Qt's own event loop wakes for a client's line sooner than the GLib one, and a server
    // with no window has nothing to share with GLib.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varlo-scpi"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VARLO_SCPI_VERSION));
    journalQtMessages(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Description));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("COM1 to COM16 (with VARLO_PORT_DIR set, the entry COMn in that "
                       "directory), or a device path such as /dev/ttyUSB0. Required."),
        QStringLiteral("PORT"));
    const QCommandLineOption listenOption(
        QStringLiteral("listen"),
        QStringLiteral("Where to listen: PORT on loopback, or ADDRESS:PORT; 0.0.0.0:5025 or "
                       "[::]:5025 serve other machines. Port 0 takes a free one. Default: "
                       "127.0.0.1:5025."),
        QStringLiteral("[ADDRESS:]PORT"));
    const QCommandLineOption settingsOption(
        QStringLiteral("settings"),
        QStringLiteral("Line settings: baud, parity (N, E, O, M, S), data bits, stop bits, "
                       "separated by commas or single blanks. Default: 9600,N,8,1."),
        QStringLiteral("TEXT"));
    const QCommandLineOption clientsOption(
        QStringLiteral("clients"),
        QStringLiteral("At most N clients at once; one more takes the place of one idle for "
                       "--idle seconds, else it is closed at once. Default: %1.")
            .arg(DefaultClients),
        QStringLiteral("N"));
    const QCommandLineOption idleOption(
        QStringLiteral("idle"),
        QStringLiteral("When every place is taken, a new client takes the place of the one "
                       "idle longest (nothing received, waiting or being answered), if that "
                       "one has been idle for SECONDS; it is closed. Default: %1.")
            .arg(DefaultIdleSeconds),
        QStringLiteral("SECONDS"));
    const QCommandLineOption waitOption(
        QStringLiteral("wait-for-port"),
        QStringLiteral("A port missing at start is waited for: the program listens at once, "
                       "answers -241 to settings, and opens the port when it appears."));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
                                         QStringLiteral("Print no line per command sent."));
    const QCommandLineOption httpOption(
        QStringLiteral("http"),
        QStringLiteral("Where to serve the web page: PORT on the --listen address, "
                       "ADDRESS:PORT, or off. Default: the --listen address, port %1.")
            .arg(DefaultHttpPort),
        QStringLiteral("[ADDRESS:]PORT|off"));
    const QCommandLineOption mdnsOption(
        QStringLiteral("mdns"),
        QStringLiteral("Announce the program on the lab network through the Avahi daemon. "
                       "The default when it listens beyond loopback."));
    const QCommandLineOption noMdnsOption(QStringLiteral("no-mdns"),
                                          QStringLiteral("Do not announce the program."));
    const QCommandLineOption nameOption(
        QStringLiteral("name"),
        QStringLiteral("The name it is announced and described by, at most 63 bytes. "
                       "Default: Varlo generator on HOSTNAME (PORT)."),
        QStringLiteral("TEXT"));
    const QCommandLineOption serialOption(
        QStringLiteral("serial"),
        QStringLiteral("The serial number *IDN? answers. Default: the USB adapter's, else 0."),
        QStringLiteral("TEXT"));
    const QCommandLineOption vxi11Option(
        QStringLiteral("vxi11"),
        QStringLiteral("Where VXI-11 (TCPIP::HOST::INSTR) listens on the --listen address: on "
                       "ports the system gives, or on PORT to PORT+3 for the core channel and "
                       "PORT+4 for the abort channel, for a firewall; or off. Default: ports "
                       "the system gives."),
        QStringLiteral("PORT|off"));
    const QCommandLineOption portmapperOption(
        QStringLiteral("portmapper"),
        QStringLiteral("How VISA tools find the VXI-11 port: system registers it with the "
                       "machine's rpcbind, own answers on port 111 of the --listen address "
                       "(root or CAP_NET_BIND_SERVICE), auto the first of the two that works, "
                       "off neither. Default: auto."),
        QStringLiteral("auto|own|system|off"));
    parser.addOptions({portOption, listenOption, settingsOption, clientsOption, idleOption,
                       waitOption, quietOption, httpOption, mdnsOption, noMdnsOption, nameOption,
                       serialOption, vxi11Option, portmapperOption});
    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(parser.errorText().toStdString());
    if (const QStringList extra = parser.positionalArguments(); !extra.isEmpty())
        return refuse("unexpected argument \"" + extra.first().toStdString() + "\"");
    // --help and --version end the program here.
    parser.process(app);

    const auto text = [&parser](const QCommandLineOption& option) {
        return parser.isSet(option) ? std::optional(parser.value(option).toStdString())
                                    : std::nullopt;
    };
    const Checked<ScpiOptions> read = readScpiOptions({
        .port = text(portOption),
        .listen = text(listenOption),
        .settings = text(settingsOption),
        .clients = text(clientsOption),
        .idle = text(idleOption),
        .http = text(httpOption),
        .name = text(nameOption),
        .serial = text(serialOption),
        .vxi11 = text(vxi11Option),
        .portmapper = text(portmapperOption),
        .waitForPort = parser.isSet(waitOption),
        .quiet = parser.isSet(quietOption),
        .mdns = parser.isSet(mdnsOption),
        .noMdns = parser.isSet(noMdnsOption),
        .hostName = QSysInfo::machineHostName().toStdString(),
    });
    if (const Refusal* refusal = refusalOf(read))
        return refuse(refusal->message);
    const ScpiOptions& options = std::get<ScpiOptions>(read);
    const QHostAddress address(QString::fromStdString(options.listen.host));

    const QuitOnSignal quitOnSignal;
    SerialLink link;
    // The rest of a command cut by a stalled line does not hold up the end.
    link.setStopDescriptor(QuitOnSignal::descriptor());
    GeneratorLink generator(link, options.port, options.settings, options.logCommands);
    if (const std::string why = generator.open(); !why.empty()) {
        if (!options.waitForPort) {
            std::fprintf(stderr, "varlo-scpi: cannot open %s\n", why.c_str());
            return exit_status::PortNotOpened;
        }
        journal("cannot open " + why + "; trying again every second");
        generator.waitForPort();
    }

    setSerialNumber(web::serialNumberOf(options.labNetwork, options.port));

    ScpiServer server(generator, options.clients, std::chrono::seconds(options.idleSeconds));
    if (const QString why = server.listen(address, static_cast<quint16>(options.listen.port));
        !why.isEmpty()) {
        // As the user wrote it, or the default.
        const std::string where = parser.isSet(listenOption)
                                      ? parser.value(listenOption).toStdString()
                                      : hostAndPortText(options.listen.host, options.listen.port);
        std::fprintf(stderr, "varlo-scpi: cannot listen on %s: %s\n", where.c_str(),
                     qPrintable(why));
        return exit_status::PortNotOpened;
    }
    if (!address.isLoopback())
        std::fprintf(stderr,
                     "varlo-scpi: listening on %s: anyone who can reach it can set the "
                     "generator\n",
                     qPrintable(server.listeningOn()));
    std::printf("listening on %s\n", qPrintable(server.listeningOn()));
    std::fflush(stdout);
    std::optional<instr::Vxi11Server> vxi11;
    if (options.vxi11) {
        vxi11.emplace(generator, options.clients, std::chrono::seconds(options.idleSeconds));
        if (const QString why = vxi11->listen(address, static_cast<quint16>(*options.vxi11));
            !why.isEmpty()) {
            std::fprintf(stderr,
                         "varlo-scpi: cannot listen for VXI-11 on %s %s (--vxi11 "
                         "chooses other ports or turns it off)\n",
                         options.listen.host.c_str(), qPrintable(why));
            return exit_status::PortNotOpened;
        }
    }
    web::LabNetwork network(generator, server, options.labNetwork, address,
                            QString::fromStdString(options.portText));
    if (vxi11)
        network.announceVxi11(vxi11->advertisedPort());
    if (!network.start())
        return exit_status::PortNotOpened;
    // Found by VISA tools once the core channel listens; its mapping goes before it closes.
    std::optional<Portmapper> portmapper;
    if (vxi11) {
        portmapper.emplace(options.portmapper, address,
                           CoreChannelPorts{[&vxi11] { return vxi11->advertisedPort(); },
                                            [&vxi11] { return vxi11->takeAdvertisedPort(); }});
        // Moved on inside the signal, before destroy_link's reply goes out.
        QObject::connect(&*vxi11, &instr::Vxi11Server::linkEnded, &*portmapper,
                         &Portmapper::linkEnded);
        if (!portmapper->start())
            return exit_status::PortNotOpened;
    }

    QCoreApplication::exec();
    network.close();
    const std::size_t notSent = generator.stop();
    journal(std::string("ended by ") + signalName(QuitOnSignal::received()) + "; " +
            std::to_string(notSent) + (notSent == 1 ? " waiting setting" : " waiting settings") +
            " not sent");
    server.closeConnections();
    portmapper.reset();
    if (vxi11)
        vxi11->closeConnections();
    return exit_status::Success;
}
