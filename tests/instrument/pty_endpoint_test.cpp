#include "pty_endpoint.h"
#include "start_up_command.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
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

} // namespace
