#include "tests/helper_program.h"
#include "tests/start_up_command.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int TimeoutMs = 5000;

// The next line of the program's standard output, without its line end; empty on time-out.
QString nextLine(QProcess& process)
{
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(TimeoutMs))
            return {};
    }
    return QString::fromUtf8(process.readLine()).chopped(1);
}

// Opens the published port as the panel does: raw, 9600 8N1.
int openPort(const QString& path)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return fd;
    termios settings{};
    ::tcgetattr(fd, &settings);
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B9600);
    ::tcsetattr(fd, TCSANOW, &settings);
    return fd;
}

bool writeText(int fd, const char* text)
{
    return ::write(fd, text, std::strlen(text)) == static_cast<ssize_t>(std::strlen(text));
}

class InstrumentProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        process.start(QString::fromStdString(helperProgram(VARLO_INSTRUMENT_EXE)),
                      {QStringLiteral("--headless"), QStringLiteral("--dir"), dir.path(),
                       QStringLiteral("--port"), QStringLiteral("5")});
        ASSERT_TRUE(process.waitForStarted(TimeoutMs));
        ASSERT_EQ(nextLine(process), QStringLiteral("VARLO_PORT_DIR=") + dir.path());
        port = dir.path() + QStringLiteral("/COM5");
    }

    void TearDown() override
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(TimeoutMs);
        }
    }

    QTemporaryDir dir;
    QProcess process;
    QString port;
};

TEST_F(InstrumentProcess, PrintsOneDecodedLinePerCommandWrittenToThePort)
{
    const int fd = openPort(port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(writeText(fd, StartUpCommand.c_str()));
    EXPECT_EQ(nextLine(process),
              QStringLiteral("frequency 1000.00 Hz, sine, attenuator off, duty not adjusted"));

    // Two commands in one write, as a quick sender may produce them.
    ASSERT_TRUE(writeText(fd, "3300000064001E5F50008"));
    EXPECT_EQ(nextLine(process), QStringLiteral("duty 51 %, square, attenuator off"));
    EXPECT_EQ(nextLine(process),
              QStringLiteral("frequency 100000000.00 Hz, sine, attenuator off, duty not adjusted"));

    ASSERT_TRUE(writeText(fd, "XYZ"));
    EXPECT_EQ(nextLine(process), QStringLiteral("undecodable \"XYZ\" (wrong length)"));
    ::close(fd);
}

TEST_F(InstrumentProcess, GoesOnAfterThePortIsClosedAndOpenedAgain)
{
    int fd = openPort(port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(writeText(fd, "2300000064"));
    EXPECT_EQ(nextLine(process), QStringLiteral("duty 50 %, square, attenuator off"));
    ::close(fd);

    // Nobody holds the port for a moment.
    QThread::msleep(200);
    fd = openPort(port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(writeText(fd, "4D03000014"));
    EXPECT_EQ(nextLine(process),
              QStringLiteral("frequency 12500.00 Hz, square, attenuator on, duty not adjusted"));
    ::close(fd);
}

TEST_F(InstrumentProcess, EndsCleanlyOnSigtermAndRemovesThePort)
{
    ASSERT_TRUE(QFileInfo(port).isSymLink());
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(TimeoutMs));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(port).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(port));
}

// A usage error ends every Varlo program with one line and 2, before anything is published.
TEST(InstrumentCommandLine, RefusesAPortOutsideTheTableAsAUsageError)
{
    const std::pair<QStringList, QByteArray> rows[] = {
        {{QStringLiteral("--port"), QStringLiteral("17")},
         "varlo-instrument: --port takes a number from 1 to 16\n"},
        {{QStringLiteral("--no-such-option")},
         "varlo-instrument: Unknown option 'no-such-option'\n"},
    };
    for (const auto& [arguments, refusal] : rows) {
        QProcess process;
        process.start(QString::fromStdString(helperProgram(VARLO_INSTRUMENT_EXE)),
                      QStringList{QStringLiteral("--headless")} + arguments);
        ASSERT_TRUE(process.waitForFinished(TimeoutMs));
        EXPECT_EQ(process.exitCode(), 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
        EXPECT_EQ(process.readAllStandardError(), refusal);
    }
}

// Its window where no display can be opened: one line, status 1, nothing published.
TEST(InstrumentCommandLine, WithoutADisplaySaysSoInOneLine)
{
    QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
    noDisplay.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("nonesuch"));
    QProcess process;
    process.setProcessEnvironment(noDisplay);
    process.start(QString::fromStdString(helperProgram(VARLO_INSTRUMENT_EXE)), QStringList());
    ASSERT_TRUE(process.waitForFinished(TimeoutMs));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    EXPECT_EQ(process.readAllStandardError(),
              QByteArray("varlo-instrument: no display could be opened (--headless, --help and "
                         "--version need none)\n"));
}

} // namespace
