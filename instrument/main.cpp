#include "entry/whole_number.h"
#include "instrument/command_receiver.h"
#include "instrument/instrument_window.h"
#include "instrument/line_printer.h"
#include "instrument/pty_endpoint.h"
#include "program/display_opening.h"
#include "program/exit_status.h"
#include "program/quit_on_signal.h"
#include "program/refusal.h"
#include "serial/port_names.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

using namespace varlo::instrument;
using varlo::QuitOnSignal;

namespace {

constexpr int DefaultPort = 3;

QString description()
{
    return QStringLiteral(
               "Plays the function generator at the other end of Varlo's serial line.\n"
               "\n"
               "Creates a pseudo-terminal, publishes its slave as COMn (a symbolic link) in a "
               "port\ndirectory and prints the line\n"
               "  VARLO_PORT_DIR=<directory>\n"
               "on standard output; start varlo with that variable set and it finds the "
               "instrument as\nCOMn. Every command received is decoded and shown in the "
               "instrument's window (or, with\n--headless, printed on standard output), one "
               "line per command:\n"
               "  frequency <hertz with two decimals> Hz, <waveform>, attenuator <on|off>, "
               "duty <adjusted|not adjusted>\n"
               "  duty <percent> %, <waveform>, attenuator <on|off>\n"
               "  undecodable \"<bytes received>\" (<reason>)\n"
               "where <waveform> is sine, square or triangle, and <reason> one of: wrong "
               "length,\nnot uppercase hex, bad waveform digit, bad mode digit, hundredths "
               "above 99,\neleven characters below 16777216 Hz. Examples:\n"
               "  frequency 1000.00 Hz, sine, attenuator off, duty not adjusted\n"
               "  duty 51 %, square, attenuator off\n"
               "  undecodable \"8E3000\" (wrong length)\n"
               "Quotes, backslashes and bytes outside printable ASCII are escaped in "
               "undecodable\nlines (\\\", \\\\, \\x0D). Commands have no terminator: a "
               "burst of bytes ends when the\nline has been quiet for %1 ms and is split into "
               "commands by their lengths.\n"
               "The link is removed when the program ends, also on SIGINT, SIGTERM and SIGHUP.")
        .arg(CommandReceiver::IdleGapMs);
}

// Run without a display when no window is wanted, including for --help and --version.
bool needsWindow(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* noWindow :
             {"--headless", "--help", "-h", "--help-all", "-?", "--version", "-v"}) {
            if (std::strcmp(argv[i], noWindow) == 0)
                return false;
        }
    }
    return true;
}

int fail(const QString& message)
{
    std::fprintf(stderr, "varlo-instrument: %s\n", qPrintable(message));
    return varlo::exit_status::Failure;
}

} // namespace

int main(int argc, char** argv)
{
    std::unique_ptr<QCoreApplication> app;
    if (needsWindow(argc, argv)) {
        const varlo::DisplayOpening opening("varlo-instrument",
                                            "--headless, --help and --version need none");
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("varlo-instrument"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VARLO_INSTRUMENT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption dirOption(
        {QStringLiteral("d"), QStringLiteral("dir")},
        QStringLiteral("Publish the port in <directory> (created if missing, kept at exit). "
                       "Default: a fresh temporary directory, removed at exit."),
        QStringLiteral("directory"));
    const QCommandLineOption portOption(
        {QStringLiteral("p"), QStringLiteral("port")},
        QStringLiteral("Publish the port as COM<n>, n from 1 to 16. Default: 3."),
        QStringLiteral("n"), QString::number(DefaultPort));
    const QCommandLineOption headlessOption(
        QStringLiteral("headless"),
        QStringLiteral("No window: print one line per received command on standard output."));
    parser.addOptions({dirOption, portOption, headlessOption});
    if (!parser.parse(QCoreApplication::arguments()))
        return varlo::refuse(parser.errorText().toStdString());
    if (const QStringList extra = parser.positionalArguments(); !extra.isEmpty())
        return varlo::refuse(
            QStringLiteral("unexpected argument '%1'").arg(extra.first()).toStdString());
    // What is left to answer is --help, --help-all or --version, which end the program here.
    parser.process(*app);

    const std::optional<int> chosen =
        varlo::wholeNumber(parser.value(portOption).toStdString(), 1, varlo::HighestPort);
    if (!chosen)
        return varlo::refuse(QStringLiteral("--port takes a number from 1 to %1")
                                 .arg(varlo::HighestPort)
                                 .toStdString());
    const int port = *chosen;

    std::optional<QTemporaryDir> temporaryDir;
    QString directory;
    if (parser.isSet(dirOption)) {
        directory = QDir(parser.value(dirOption)).absolutePath();
        if (!QDir().mkpath(directory))
            return fail(QStringLiteral("cannot create directory ") + directory);
    } else {
        temporaryDir.emplace(QDir::tempPath() + QStringLiteral("/varlo-instrument-XXXXXX"));
        if (!temporaryDir->isValid())
            return fail(QStringLiteral("cannot create a temporary directory"));
        directory = temporaryDir->path();
    }

    QuitOnSignal quitOnSignal;
    PtyEndpoint::Opened opened = PtyEndpoint::open(directory, port);
    if (!opened.endpoint)
        return fail(opened.error);
    PtyEndpoint& endpoint = *opened.endpoint;

    std::printf("VARLO_PORT_DIR=%s\n", qPrintable(directory));
    std::fflush(stdout);
    std::fprintf(stderr, "varlo-instrument: COM%d is %s\n", port, qPrintable(endpoint.slavePath()));

    CommandReceiver receiver;
    QObject::connect(&endpoint, &PtyEndpoint::bytesReceived, &receiver,
                     &CommandReceiver::takeBytes);

    std::unique_ptr<LinePrinter> printer;
    std::unique_ptr<InstrumentWindow> window;
    if (parser.isSet(headlessOption)) {
        printer = std::make_unique<LinePrinter>();
        QObject::connect(&receiver, &CommandReceiver::commandFramed, printer.get(),
                         &LinePrinter::printCommand);
        QObject::connect(printer.get(), &LinePrinter::outputLost, app.get(),
                         &QCoreApplication::quit);
    } else {
        window = std::make_unique<InstrumentWindow>(
            QStringLiteral("COM%1 in %2 (%3)").arg(port).arg(directory, endpoint.slavePath()));
        window->setWindowTitle(QStringLiteral("Varlo instrument - COM%1").arg(port));
        window->resize(640, 560);
        QObject::connect(&receiver, &CommandReceiver::commandFramed, window.get(),
                         &InstrumentWindow::showCommand);
        window->show();
    }
    return QCoreApplication::exec();
}
