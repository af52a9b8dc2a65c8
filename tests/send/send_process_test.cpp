#include "helper_program.h"
#include "qt/pty_pair.h"

#include "protocol/command_wording.h"
#include "serial/port_lock.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

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
    // reading early, the rest of the line is read briefly after the exit.
    Outcome run(const QStringList& arguments, std::size_t expected = 0)
    {
        QProcess process;
        process.start(QString::fromStdString(helperProgram(VARLO_SEND_EXE)), arguments);
        EXPECT_TRUE(process.waitForStarted(TimeoutMs));
        Outcome outcome;
        if (expected > 0)
            outcome.wire = pty->readAtMaster(expected, TimeoutMs);
        EXPECT_TRUE(ended(process));
        outcome.wire += pty->readAtMaster(1, 200);
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

struct FormRow {
    const char* name;
    std::vector<const char*> arguments;
    const char* script; // written to a file named after --script when not null
    std::vector<std::string> commands;
};

class SendForms : public SendProcess, public ::testing::WithParamInterface<FormRow> {};

TEST_P(SendForms, PutTheCommandsOnTheLineAndPrintThem)
{
    const FormRow& row = GetParam();
    QStringList arguments{QStringLiteral("--port"), QStringLiteral("COM7")};
    arguments << words(row.arguments);
    if (row.script)
        arguments << QStringLiteral("--script") << scriptFile(row.script);
    const std::string wire = joined(row.commands);
    const Outcome outcome = run(arguments, wire.size());
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(outcome.wire, wire);
    EXPECT_EQ(outcome.out, linesFor(row.commands));
    EXPECT_EQ(outcome.err, QString());
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SendForms,
    ::testing::Values(
        FormRow{"OneShot", {"12.5kHz", "square"}, nullptr, {"4D03000004"}},
        FormRow{"DutyAndAttenuator",
                {"--duty", "60", "--attenuator", "on", "1kHz"},
                nullptr,
                {"C300000078", "8E30000058"}},
        FormRow{"SettingsAndGap",
                {"--settings", "19200,N,8,1", "--gap", "5ms", "--duty", "20", "0.05Hz"},
                nullptr,
                {"4100000068", "0000005048"}},
        FormRow{"Sweep",
                {"--sweep", "1kHz", "2kHz", "--steps", "3", "--dwell", "20ms", "triangle"},
                nullptr,
                {"8E30000002", "CD50000002", "0D70000002"}},
        FormRow{"Script",
                {"--gap", "10ms"},
                "# bench\n2kHz square --attenuator on\nwait 20ms\nsweep 10Hz 1kHz --steps 3 "
                "--log --dwell 20ms\n100MHz\n",
                {"0D70000014", "A000000008", "4600000008", "8E30000008", "001E5F50008"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SendProcess, DevicePathOpensTheSameLine)
{
    const Outcome outcome = run({QStringLiteral("--port"), QString::fromStdString(pty->slavePath()),
                                 QStringLiteral("1000")},
                                CommandLength);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(outcome.wire, "8E30000008");
}

struct RefusalRow {
    const char* name;
    std::vector<const char*> arguments;
    const char* script;
    const char* message; // the whole of standard error, "%1" standing for the script's name
};

class SendRefusals : public SendProcess, public ::testing::WithParamInterface<RefusalRow> {};

TEST_P(SendRefusals, SendNothingAndExitTwo)
{
    const RefusalRow& row = GetParam();
    QStringList arguments{QStringLiteral("--port"), QStringLiteral("COM7")};
    arguments << words(row.arguments);
    QString name;
    if (row.script) {
        name = scriptFile(row.script);
        arguments << QStringLiteral("--script") << name;
    }
    const Outcome outcome = run(arguments);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_EQ(outcome.wire, "");
    EXPECT_EQ(outcome.out, QString());
    QString message = QString::fromUtf8(row.message);
    EXPECT_EQ(outcome.err, row.script ? message.arg(name) : message);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, SendRefusals,
    ::testing::Values(
        RefusalRow{"AboveHundredMegahertz",
                   {"100.1MHz"},
                   nullptr,
                   "varlo-send: frequency \"100.1MHz\" is above 100 MHz (see varlo-send "
                   "--help)\n"},
        RefusalRow{"DutyOutOfRange",
                   {"--duty", "81", "1kHz"},
                   nullptr,
                   "varlo-send: --duty takes a whole number from 20 to 80, not \"81\" (see "
                   "varlo-send --help)\n"},
        RefusalRow{"DwellShorterThanTheLine",
                   {"--sweep", "1", "2", "--steps", "2", "--dwell", "5ms"},
                   nullptr,
                   "varlo-send: --dwell 5.0 ms is shorter than one command takes on the line at "
                   "9600 baud (10.4 ms)\n"},
        RefusalRow{"BadLineAfterGoodOnes",
                   {},
                   "1kHz\n2kHz\n\nwait soon\n",
                   "varlo-send: %1:4: not a time: \"soon\" (a number followed by ms or s)\n"},
        RefusalRow{"MissingScript",
                   {"--script", "/nonexistent/steps.txt"},
                   nullptr,
                   "varlo-send: cannot read the script /nonexistent/steps.txt\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct UnopenedRow {
    const char* name;
    const char* port;
    bool holdThePort;
    const char* reason; // the start of standard error, "%1" standing for the port directory
};

class SendUnopened : public SendProcess, public ::testing::WithParamInterface<UnopenedRow> {};

TEST_P(SendUnopened, ExitThreeAndSayWhy)
{
    const UnopenedRow& row = GetParam();
    std::unique_ptr<varlo::DeviceClaim> holder;
    if (row.holdThePort)
        holder = std::make_unique<varlo::DeviceClaim>(pty->slavePath());
    const Outcome outcome =
        run({QStringLiteral("--port"), QString::fromUtf8(row.port), QStringLiteral("1kHz")});
    EXPECT_EQ(outcome.exitCode, 3);
    EXPECT_EQ(outcome.wire, "");
    const QString reason =
        QString::fromUtf8(row.reason).replace(QStringLiteral("%1"), portDir.path());
    EXPECT_TRUE(outcome.err.startsWith(reason)) << outcome.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Ports, SendUnopened,
    ::testing::Values(
        UnopenedRow{"Missing", "COM8", false, "varlo-send: cannot open COM8 (%1/COM8): missing\n"},
        UnopenedRow{"Busy", "COM7", true, "varlo-send: cannot open COM7 (%1/COM7): busy: "},
        UnopenedRow{"NotATerminal", "/dev/null", false,
                    "varlo-send: cannot open /dev/null: not a terminal\n"}),
    [](const auto& info) { return std::string(info.param.name); });

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

struct SignalRow {
    const char* name;
    int signalNumber;
    int exitCode;
};

class SendSignals : public SendProcess, public ::testing::WithParamInterface<SignalRow> {};

TEST_P(SendSignals, StopBetweenCommandsAndFreeThePort)
{
    QProcess process;
    process.start(QString::fromStdString(helperProgram(VARLO_SEND_EXE)),
                  {QStringLiteral("--port"), QStringLiteral("COM7"), QStringLiteral("--sweep"),
                   QStringLiteral("1Hz"), QStringLiteral("1MHz"), QStringLiteral("--steps"),
                   QStringLiteral("10000"), QStringLiteral("--dwell"), QStringLiteral("11ms")});
    ASSERT_TRUE(process.waitForStarted(TimeoutMs));
    std::string wire = pty->readAtMaster(5 * CommandLength, TimeoutMs);
    ASSERT_GE(wire.size(), 5 * CommandLength);
    ::kill(static_cast<pid_t>(process.processId()), GetParam().signalNumber);
    ASSERT_TRUE(ended(process));
    wire += pty->readAtMaster(1, 200);

    EXPECT_EQ(process.exitCode(), GetParam().exitCode);
    EXPECT_EQ(wire.size() % CommandLength, 0u) << wire;
    EXPECT_LT(wire.size(), 10000 * CommandLength);
    const auto printed = QString::fromUtf8(process.readAllStandardOutput()).count('\n');
    EXPECT_EQ(static_cast<std::size_t>(printed), wire.size() / CommandLength);
    EXPECT_TRUE(varlo::DeviceClaim(pty->slavePath()).held());
}

INSTANTIATE_TEST_SUITE_P(Signals, SendSignals,
                         ::testing::Values(SignalRow{"Interrupt", SIGINT, 130},
                                           SignalRow{"Terminate", SIGTERM, 143}),
                         [](const auto& info) { return std::string(info.param.name); });

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
