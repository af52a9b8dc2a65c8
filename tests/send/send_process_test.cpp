#include "tests/helper_program.h"
#include "tests/qt/pty_pair.h"
#include "tests/scpi_process.h"
#include "tests/start_up_command.h"

#include "protocol/command_wording.h"
#include "serial/port_lock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int Port = 7;
constexpr int TimeoutMs = 10000;
constexpr std::size_t CommandLength = 10;

// Whether the process has ended. Reading the line turns the event loop, which may already have
// seen the end; waitForFinished() then answers false.
bool ended(QProcess& process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(TimeoutMs);
}

QStringList words(const std::vector<const char*>& list)
{
    QStringList all;
    for (const char* word : list)
        all << QString::fromUtf8(word);
    return all;
}

// What the program prints for the commands: each with the instrument's wording.
QString linesFor(const std::vector<std::string>& commands)
{
    QString lines;
    for (const std::string& command : commands)
        lines += QString::fromStdString(command + "  " + varlo::describeCommand(command) + "\n");
    return lines;
}

std::string joined(const std::vector<std::string>& commands)
{
    std::string all;
    for (const std::string& command : commands)
        all += command;
    return all;
}

// The built program run against a pty published as COM7 in a fresh port directory.
class SendProcess : public ::testing::Test {
protected:
    struct Outcome {
        int exitCode = -1;
        std::string wire;
        QString out;
        QString err;
    };

    // Runs the program to its end, reading the line meanwhile; `expected` bytes end the
    // reading early, the rest of the line is read after the exit.
    Outcome run(const QStringList& arguments, std::size_t expected = 0)
    {
        QProcess process;
        process.start(QString::fromStdString(helperProgram(VARLO_SEND_EXE)), arguments);
        EXPECT_TRUE(process.waitForStarted(TimeoutMs));
        Outcome outcome;
        if (expected > 0)
            outcome.wire = pty->readAtMaster(expected, TimeoutMs);
        EXPECT_TRUE(ended(process));
        // The pty hands over what was written in pieces, later on a busy machine: read until
        // it has been quiet a while.
        for (std::string more; !(more = pty->readAtMaster(1, 200)).empty();)
            outcome.wire += more;
        outcome.exitCode = process.exitCode();
        outcome.out = QString::fromUtf8(process.readAllStandardOutput());
        outcome.err = QString::fromUtf8(process.readAllStandardError());
        return outcome;
    }

    QString scriptFile(const char* text)
    {
        script = std::make_unique<QTemporaryFile>();
        EXPECT_TRUE(script->open());
        script->write(text);
        script->flush();
        return script->fileName();
    }

    PortDir portDir;
    std::unique_ptr<PtyPair> pty = std::make_unique<PtyPair>(portDir.path(), Port);
    std::unique_ptr<QTemporaryFile> script;
};

// One row per exit status that a run reaches without being disturbed; "{pty}" stands for the
// pty's device, "{dir}" for the port directory, "{script}" for the script's file. The wording
// of each refusal is the core's.
struct ExitRow {
    const char* name;
    std::vector<const char*> arguments;
    const char* script; // written to a file named after --script when not null
    std::vector<std::string> commands;
    int exitCode;
    const char* err;
};

// Rows show by name in test listings.
void PrintTo(const ExitRow& row, std::ostream* out)
{
    *out << row.name;
}

class SendExits : public SendProcess, public ::testing::WithParamInterface<ExitRow> {};

TEST_P(SendExits, PutOnTheLineWhatTheyPrintAndSayWhyNot)
{
    const ExitRow& row = GetParam();
    QStringList arguments = words(row.arguments);
    arguments.replaceInStrings(QStringLiteral("{pty}"), QString::fromStdString(pty->slavePath()));
    if (row.script)
        arguments << QStringLiteral("--script") << scriptFile(row.script);
    const std::string wire = joined(row.commands);
    const Outcome outcome = run(arguments, wire.size());
    EXPECT_EQ(outcome.exitCode, row.exitCode);
    EXPECT_EQ(outcome.wire, wire);
    EXPECT_EQ(outcome.out, linesFor(row.commands));
    QString err = QString::fromUtf8(row.err).replace(QStringLiteral("{dir}"), portDir.path());
    if (script)
        err.replace(QStringLiteral("{script}"), script->fileName());
    EXPECT_EQ(outcome.err, err);
}

INSTANTIATE_TEST_SUITE_P(
    Exits, SendExits,
    ::testing::Values(ExitRow{"Sent",
                              {"--port", "{pty}", "--settings", "19200,N,8,1", "--gap", "10ms"},
                              "# bench\n2kHz square --attenuator on --duty 60\nwait 20ms\n"
                              "sweep 10Hz 1kHz --steps 3 --log --dwell 20ms\n100MHz\n",
                              {"C300000074", "0D70000054", "A000000008", "4600000008",
                               StartUpCommand, "001E5F50008"},
                              0,
                              ""},
                      ExitRow{
                          "Refused",
                          {"--port", "COM7", "--duty", "81", "1kHz"},
                          nullptr,
                          {},
                          2,
                          "varlo-send: --duty takes a whole number from 20 to 80, not \"81\"\n"},
                      ExitRow{"EveryBadScriptLine",
                              {"--port", "COM7"},
                              "1GHz\n1kHz\nsqaure\n",
                              {},
                              2,
                              "varlo-send: {script}:1: not a frequency: \"1GHz\" (a number with "
                              "\".\" as the decimal mark and Hz, kHz or MHz)\n"
                              "varlo-send: {script}:3: unknown waveform \"sqaure\" (sine, square "
                              "or triangle)\n"},
                      ExitRow{"NotOpened",
                              {"--port", "COM8", "1kHz"},
                              nullptr,
                              {},
                              3,
                              "varlo-send: cannot open COM8 ({dir}/COM8): missing; varlo-send "
                              "--list shows every port and its state\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Through varlo-scpi a run puts the same bytes on the line and prints the same lines as on
// the port, a duty among them: its command alone, and a step after it at the default duty.
struct ThroughRow {
    const char* name;
    std::vector<const char*> arguments;
    const char* script; // written to a file named after --script when not null
};

void PrintTo(const ThroughRow& row, std::ostream* out)
{
    *out << row.name;
}

class SendThroughTheServer : public SendProcess,
                             public ::testing::WithParamInterface<ThroughRow> {};

TEST_P(SendThroughTheServer, SameBytesAndLinesAsOnThePort)
{
    const auto runTo = [&](QStringList arguments, std::size_t expected) {
        arguments << words(GetParam().arguments);
        if (GetParam().script)
            arguments << QStringLiteral("--script") << scriptFile(GetParam().script);
        return run(arguments, expected);
    };
    const Outcome direct = runTo({QStringLiteral("--port"), QStringLiteral("COM7")}, 0);
    ASSERT_EQ(direct.exitCode, 0) << direct.err.toStdString();
    ASSERT_FALSE(direct.wire.empty());

    const ScpiProcess server(portDir.path(), Port);
    const Outcome through = runTo(
        {QStringLiteral("--connect"), QString::fromStdString(varlo::serverText(server.address()))},
        direct.wire.size());
    EXPECT_EQ(through.exitCode, 0);
    EXPECT_EQ(through.wire, direct.wire);
    EXPECT_EQ(through.out, direct.out);
    EXPECT_EQ(through.err, direct.err);
}

INSTANTIATE_TEST_SUITE_P(
    Connect, SendThroughTheServer,
    ::testing::Values(
        ThroughRow{"Step", {"12.5", "kHz", "square", "--attenuator", "on"}, nullptr},
        ThroughRow{
            "Sweep",
            {"--sweep", "10Hz", "1kHz", "--steps", "4", "--log", "--dwell", "20ms", "triangle"},
            nullptr},
        ThroughRow{"Script",
                   {},
                   "1kHz\nwait 20ms\n2kHz square --attenuator on\nsweep 1kHz 2kHz --steps 3\n"},
        ThroughRow{"DutyStep", {"12.5", "kHz", "square", "--duty", "30"}, nullptr},
        ThroughRow{"DutySweep",
                   {"--sweep", "1kHz", "2kHz", "--steps", "3", "--dwell", "20ms", "--duty", "70"},
                   nullptr},
        ThroughRow{"DutyScript",
                   {},
                   "2kHz square --attenuator on --duty 60\nwait 50ms\n700Hz triangle\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// --help wins wherever it stands, after a word that would be refused and in the place of an
// option's value; so does the version.
TEST_F(SendProcess, HelpAndVersionWinWhereverTheyStand)
{
    const std::pair<std::vector<const char*>, QString> rows[] = {
        {{"--loud", "--help"}, QStringLiteral("Usage:\n")},
        {{"--duty", "--help"}, QStringLiteral("Usage:\n")},
        {{"--port", "COM7", "1kHz", "-v"}, QStringLiteral("varlo-send " VARLO_VERSION "\n")},
    };
    for (const auto& [arguments, out] : rows) {
        const Outcome outcome = run(words(arguments));
        SCOPED_TRACE(words(arguments).join(u' ').toStdString());
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_TRUE(outcome.out.startsWith(out)) << outcome.out.toStdString();
        EXPECT_EQ(outcome.err, QString());
        EXPECT_EQ(outcome.wire, "");
    }
}

TEST_F(SendProcess, ListNamesEveryPortAndTheFlockHolder)
{
    const varlo::DeviceClaim holder(pty->slavePath());
    ASSERT_TRUE(holder.held());
    const Outcome outcome = run({QStringLiteral("--list")});
    EXPECT_EQ(outcome.exitCode, 0);
    const QStringList lines = outcome.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 16);
    const QString dir = portDir.path();
    EXPECT_EQ(lines[0], QStringLiteral("COM1 (%1/COM1): missing").arg(dir));
    EXPECT_TRUE(lines[Port - 1].startsWith(QStringLiteral("COM7 (%1/COM7): busy: ").arg(dir)))
        << lines[Port - 1].toStdString();
    EXPECT_TRUE(lines[Port - 1].contains(QStringLiteral("(pid %1)").arg(::getpid())))
        << lines[Port - 1].toStdString();
    EXPECT_EQ(lines[15], QStringLiteral("COM16 (%1/COM16): missing").arg(dir));
}

// Arrival times of the commands at the far end of the line, in milliseconds from the first.
std::vector<double> arrivals(PtyPair& pty, int count)
{
    std::vector<double> times;
    QElapsedTimer clock;
    std::string pending;
    while (static_cast<int>(times.size()) < count) {
        pending += pty.readAtMaster(CommandLength - pending.size() % CommandLength, 2000);
        if (pending.empty() || pending.size() % CommandLength != 0)
            break;
        if (times.empty())
            clock.start();
        const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        while (times.size() < pending.size() / CommandLength)
            times.push_back(now);
    }
    return times;
}

double median(std::vector<double> values)
{
    std::ranges::sort(values);
    return values[values.size() / 2];
}

TEST_F(SendProcess, SweepStepsKeepTheirDwellWithoutDrift)
{
    constexpr int Steps = 50;
    constexpr double DwellMs = 20;
    QProcess process;
    process.start(QString::fromStdString(helperProgram(VARLO_SEND_EXE)),
                  {QStringLiteral("--port"), QStringLiteral("COM7"), QStringLiteral("--quiet"),
                   QStringLiteral("--sweep"), QStringLiteral("1kHz"), QStringLiteral("50kHz"),
                   QStringLiteral("--steps"), QString::number(Steps), QStringLiteral("--dwell"),
                   QStringLiteral("20ms")});
    ASSERT_TRUE(process.waitForStarted(TimeoutMs));
    const std::vector<double> times = arrivals(*pty, Steps);
    ASSERT_TRUE(ended(process));
    EXPECT_EQ(process.exitCode(), 0);
    ASSERT_EQ(times.size(), static_cast<std::size_t>(Steps));

    std::vector<double> steps;
    std::vector<double> offsets; // arrival against the schedule; constant without drift
    for (int i = 0; i < Steps; ++i) {
        if (i > 0)
            steps.push_back(times[i] - times[i - 1]);
        offsets.push_back(times[i] - i * DwellMs);
    }
    EXPECT_NEAR(median(steps), DwellMs, 2.0);
    // Drift is the trend of the offsets over the run: the median of the slopes between every
    // two of them (Theil-Sen), which the late wake-ups of a loaded machine do not move.
    std::vector<double> slopes;
    for (int i = 0; i < Steps; ++i)
        for (int j = i + 1; j < Steps; ++j)
            slopes.push_back((offsets[j] - offsets[i]) / (j - i));
    EXPECT_NEAR(median(slopes) * (Steps - 1), 0.0, 2.0);
}

TEST_F(SendProcess, SignalStopsBetweenCommandsAndFreesThePort)
{
    QProcess process;
    process.start(QString::fromStdString(helperProgram(VARLO_SEND_EXE)),
                  {QStringLiteral("--port"), QStringLiteral("COM7"), QStringLiteral("--sweep"),
                   QStringLiteral("1Hz"), QStringLiteral("1MHz"), QStringLiteral("--steps"),
                   QStringLiteral("10000"), QStringLiteral("--dwell"), QStringLiteral("11ms")});
    ASSERT_TRUE(process.waitForStarted(TimeoutMs));
    std::string wire = pty->readAtMaster(5 * CommandLength, TimeoutMs);
    ASSERT_GE(wire.size(), 5 * CommandLength);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(ended(process));
    wire += pty->readAtMaster(1, 200);

    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_EQ(wire.size() % CommandLength, 0u) << wire;
    EXPECT_LT(wire.size(), 10000 * CommandLength);
    const auto printed = QString::fromUtf8(process.readAllStandardOutput()).count('\n');
    EXPECT_EQ(static_cast<std::size_t>(printed), wire.size() / CommandLength);
    EXPECT_TRUE(varlo::DeviceClaim(pty->slavePath()).held());
}

// Whether the process holds the device open.
bool holds(qint64 pid, const std::string& device)
{
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error))
        if (std::filesystem::read_symlink(entry.path(), error) == device)
            return true;
    return false;
}

// A far end that never reads: the line is filled until it takes no more, so that the first
// write waits. A signal then ends the run at once, with nothing of the command written.
TEST_F(SendProcess, SignalEndsAWriteThatWaitsForAStalledLine)
{
    // The line is stopped as a device stops it by flow control: it takes nothing until it is
    // started again. (A line filled by another writer beforehand does not stay full: some
    // serial ports drop what waits in the device when they are opened.)
    const int slave = ::open(pty->slavePath().c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave, 0);
    ASSERT_EQ(::tcflow(slave, TCOOFF), 0);

    QProcess process;
    process.start(QString::fromStdString(helperProgram(VARLO_SEND_EXE)),
                  {QStringLiteral("--port"), QStringLiteral("COM7"), QStringLiteral("1kHz")});
    ASSERT_TRUE(process.waitForStarted(TimeoutMs));
    QElapsedTimer clock;
    clock.start();
    while (!holds(process.processId(), pty->slavePath()) && clock.elapsed() < TimeoutMs)
        QThread::msleep(5);
    // Well inside the write's one-second wait for the line.
    QThread::msleep(200);
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(ended(process));
    ::tcflow(slave, TCOON);
    ::close(slave);

    EXPECT_EQ(process.exitCode(), 143);
    EXPECT_EQ(process.readAllStandardError().toStdString(),
              "varlo-send: stopped by SIGTERM; no command was handed over\n");
    EXPECT_EQ(pty->readAtMaster(1, 200), "");
}

TEST_F(SendProcess, HungUpLineEndsWithTheLastCommandHandedOver)
{
    QProcess process;
    process.start(QString::fromStdString(helperProgram(VARLO_SEND_EXE)),
                  {QStringLiteral("--port"), QStringLiteral("COM7"), QStringLiteral("--quiet"),
                   QStringLiteral("--sweep"), QStringLiteral("1Hz"), QStringLiteral("1MHz"),
                   QStringLiteral("--steps"), QStringLiteral("1000"), QStringLiteral("--dwell"),
                   QStringLiteral("20ms")});
    ASSERT_TRUE(process.waitForStarted(TimeoutMs));
    ASSERT_EQ(pty->readAtMaster(3 * CommandLength, TimeoutMs).size(), 3 * CommandLength);
    pty->closeMaster();
    ASSERT_TRUE(ended(process));
    EXPECT_EQ(process.exitCode(), 4);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.startsWith(QStringLiteral("varlo-send: the line failed: ")))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("; the last command handed over whole was ")))
        << err.toStdString();
}

// Through varlo-scpi, not reaching the server ends the run as a port that does not open.
TEST_F(SendProcess, AServerNotReachedIsAPortNotOpened)
{
    const varlo::ServerAddress nobody{"127.0.0.1", freeLoopbackPort()};
    const Outcome outcome =
        run({QStringLiteral("--connect"), QString::fromStdString(varlo::serverText(nobody)),
             QStringLiteral("1kHz")});
    EXPECT_EQ(outcome.exitCode, 3);
    EXPECT_EQ(outcome.err.toStdString(), "varlo-send: varlo-scpi at " + varlo::serverText(nobody) +
                                             " cannot be reached: connection refused\n");
    EXPECT_EQ(outcome.wire, "");
}

// A line that fails behind the server ends the run as a line that fails, in the server's words.
TEST_F(SendProcess, TheServersLineFailingIsTheLineFailing)
{
    const ScpiProcess server(portDir.path(), Port);
    QProcess process;
    process.start(QString::fromStdString(helperProgram(VARLO_SEND_EXE)),
                  {QStringLiteral("--connect"),
                   QString::fromStdString(varlo::serverText(server.address())),
                   QStringLiteral("--quiet"), QStringLiteral("--sweep"), QStringLiteral("1Hz"),
                   QStringLiteral("1MHz"), QStringLiteral("--steps"), QStringLiteral("1000"),
                   QStringLiteral("--dwell"), QStringLiteral("50ms")});
    ASSERT_TRUE(process.waitForStarted(TimeoutMs));
    ASSERT_EQ(pty->readAtMaster(3 * CommandLength, TimeoutMs).size(), 3 * CommandLength);
    // Unplugged, as an adapter whose device goes with it: the server, which tries the port
    // again, must not find another test's pty under the same name.
    ASSERT_TRUE(QFile::remove(portDir.path() + QStringLiteral("/COM%1").arg(Port)));
    pty->closeMaster();
    ASSERT_TRUE(ended(process));
    EXPECT_EQ(process.exitCode(), 4);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(
        err.startsWith(QStringLiteral("varlo-send: the line failed: varlo-scpi at %1 says "
                                      "-241,\"Hardware missing")
                           .arg(QString::fromStdString(varlo::serverText(server.address())))))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("; the last command handed over whole was ")))
        << err.toStdString();
}

// Settings refused for another client's lock end the run as a refused command, naming the
// holder.
TEST_F(SendProcess, AnotherClientsLockIsARefusedCommand)
{
    const ScpiProcess server(portDir.path(), Port);
    QTcpSocket holder;
    holder.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(server.address().port));
    ASSERT_TRUE(holder.waitForConnected(TimeoutMs));
    holder.write("SYST:LOCK:REQ?\n");
    while (!holder.canReadLine())
        ASSERT_TRUE(holder.waitForReadyRead(TimeoutMs));
    ASSERT_EQ(holder.readLine(), "1\n");
    const Outcome outcome =
        run({QStringLiteral("--connect"),
             QString::fromStdString(varlo::serverText(server.address())), QStringLiteral("2kHz")});
    EXPECT_EQ(outcome.exitCode, 4);
    EXPECT_EQ(outcome.err.toStdString(),
              "varlo-send: varlo-scpi at " + varlo::serverText(server.address()) +
                  " refused the settings: the generator is locked by SOCKET 127.0.0.1:" +
                  std::to_string(holder.localPort()) + "; no command was handed over\n");
    EXPECT_EQ(outcome.wire, "");
}

// The instrument reads on the line what the program says it sent: its lines are the text after
// the two blanks of the program's lines.
TEST(SendToInstrument, TheInstrumentReadsWhatWasPrinted)
{
    QTemporaryDir dir;
    QProcess instrument;
    instrument.start(QString::fromStdString(helperProgram(VARLO_INSTRUMENT_EXE)),
                     {QStringLiteral("--headless"), QStringLiteral("--dir"), dir.path(),
                      QStringLiteral("--port"), QStringLiteral("5")});
    ASSERT_TRUE(instrument.waitForStarted(TimeoutMs));
    ASSERT_TRUE(instrument.waitForReadyRead(TimeoutMs));
    ASSERT_EQ(instrument.readLine().trimmed(), QByteArray("VARLO_PORT_DIR=") + dir.path().toUtf8());

    QTemporaryFile script;
    ASSERT_TRUE(script.open());
    script.write("12.34Hz\n2kHz square --attenuator on --duty 75\n"
                 "sweep 10Hz 100MHz --steps 4 --log --dwell 60ms triangle\n0.05Hz --duty 20\n");
    script.flush();
    QProcess send;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VARLO_PORT_DIR"), dir.path());
    send.setProcessEnvironment(environment);
    send.start(QString::fromStdString(helperProgram(VARLO_SEND_EXE)),
               {QStringLiteral("--port"), QStringLiteral("COM5"), QStringLiteral("--script"),
                script.fileName()});
    ASSERT_TRUE(ended(send));
    ASSERT_EQ(send.exitCode(), 0) << send.readAllStandardError().toStdString();
    const QStringList sent =
        QString::fromUtf8(send.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(sent.size(), 9);

    QStringList meanings;
    QStringList received;
    for (const QString& line : sent) {
        meanings << line.section(QStringLiteral("  "), 1);
        while (!instrument.canReadLine() && instrument.waitForReadyRead(TimeoutMs)) {
        }
        received << QString::fromUtf8(instrument.readLine()).trimmed();
    }
    EXPECT_EQ(received, meanings);
    instrument.terminate();
    instrument.waitForFinished(TimeoutMs);
}

} // namespace
