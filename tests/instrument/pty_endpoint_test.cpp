#include "instrument/pty_endpoint.h"
#include "tests/start_up_command.h"

#include "tests/qt/pty_pair.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

using varlo::instrument::PtyEndpoint;

namespace {

// What the endpoint passed on within the time limit, once `count` bytes have come.
QByteArray received(QSignalSpy& spy, qsizetype count)
{
    QByteArray bytes;
    for (int round = 0; round < 40 && bytes.size() < count; ++round) {
        if (spy.isEmpty())
            spy.wait(50);
        while (!spy.isEmpty())
            bytes += spy.takeFirst().at(0).toByteArray();
    }
    return bytes;
}

void writeTo(const QString& path, const char* text)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0) << path.toStdString();
    ASSERT_EQ(::write(fd, text, std::strlen(text)), static_cast<ssize_t>(std::strlen(text)));
    ::close(fd);
}

TEST(PtyEndpoint, PublishesTheSlaveAsComNAndPassesOnWhatIsWritten)
{
    QTemporaryDir dir;
    PtyEndpoint::Opened opened = PtyEndpoint::open(dir.path(), 7);
    ASSERT_TRUE(opened.endpoint) << opened.error.toStdString();
    const QString link = dir.path() + QStringLiteral("/COM7");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(link).canonicalFilePath(), opened.endpoint->slavePath());

    QSignalSpy spy(opened.endpoint.get(), &PtyEndpoint::bytesReceived);
    writeTo(link, StartUpCommand.c_str());
    EXPECT_EQ(received(spy, 10).toStdString(), StartUpCommand);
}

TEST(PtyEndpoint, KeepsListeningAfterThePanelClosesAndReopensThePort)
{
    QTemporaryDir dir;
    PtyEndpoint::Opened opened = PtyEndpoint::open(dir.path(), 3);
    ASSERT_TRUE(opened.endpoint);
    const QString link = dir.path() + QStringLiteral("/COM3");
    QSignalSpy spy(opened.endpoint.get(), &PtyEndpoint::bytesReceived);

    writeTo(link, "2300000064");
    EXPECT_EQ(received(spy, 10), QByteArray("2300000064"));
    // Nobody holds the port for a while, as between two runs of the panel.
    spy.wait(100);
    writeTo(link, "B400000064");
    EXPECT_EQ(received(spy, 10), QByteArray("B400000064"));
}

// A program that held the port exclusively and was killed: the kernel drops its descriptor
// but not the flag, which stays on a pseudo-terminal while its master is open. The endpoint
// takes the flag off once nothing but itself holds the port, never while the holder lives.
TEST(PtyEndpoint, FreesThePortOnceAKilledHolderIsGone)
{
    QTemporaryDir dir;
    PtyEndpoint::Opened opened = PtyEndpoint::open(dir.path(), 3);
    ASSERT_TRUE(opened.endpoint);
    const std::string slave = opened.endpoint->slavePath().toStdString();

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open(slave.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
        const char held = fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0 ? '1' : '0';
        (void)!::write(ready[1], &held, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(held, '1');
    QTest::qWait(200);
    EXPECT_TRUE(markedExclusive(slave)) << "the living holder keeps its claim";

    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    const QDeadlineTimer deadline(3000);
    while (markedExclusive(slave) && !deadline.hasExpired())
        QTest::qWait(20);
    EXPECT_FALSE(markedExclusive(slave)) << "the port is still blocked for the next user";
}

} // namespace
