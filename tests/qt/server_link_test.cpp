// The link to varlo-scpi on real loopback sockets: the built server on a pty for what reaches
// the line, and sockets of the test's own for a server that refuses, stays silent or goes.

#include "protocol/command_encoding.h"
#include "serial/server_link.h"
#include "tests/qt/pty_pair.h"
#include "tests/scpi_process.h"
#include "tests/start_up_command.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace {

using varlo::ServerFailure;
using varlo::ServerLink;
using Cause = ServerFailure::Cause;

constexpr int Port = 4;

class ThroughTheServer : public ::testing::Test {
protected:
    PortDir dir;
    PtyPair pty{dir.path(), Port};
    ScpiProcess server{dir.path(), Port};
    ServerLink link{server.address()};
};

TEST_F(ThroughTheServer, TheCommandReachesTheLineAndIsHeld)
{
    const std::string command =
        varlo::frequencyCommand(12500, true, false, varlo::Waveform::Square);
    ASSERT_EQ(link.setOutput(command), std::nullopt);
    const std::string wire = pty.readAtMaster(command.size() * 3, 3000);
    EXPECT_TRUE(wire.ends_with(command)) << wire;
    const auto held = link.readHeld();
    ASSERT_TRUE(std::holds_alternative<varlo::GeneratorState>(held));
    EXPECT_EQ(std::get<varlo::GeneratorState>(held),
              (varlo::GeneratorState{12500, 0, varlo::Waveform::Square, true, 50, false}));
}

TEST_F(ThroughTheServer, ARefusalKeepsTheConnection)
{
    // 0 Hz, which the panel's display may show, is below what the server takes.
    EXPECT_EQ(link.setOutput("0000000008"),
              (ServerFailure{Cause::ServerError, "-222,\"Data out of range\""}));
    const std::string command = varlo::frequencyCommand(1500, false, false, varlo::Waveform::Sine);
    EXPECT_EQ(link.setOutput(command), std::nullopt);
    EXPECT_TRUE(pty.readAtMaster(50, 3000).ends_with(command));
}

TEST_F(ThroughTheServer, AServerThatGoesIsToldOnceWhileFollowing)
{
    QSignalSpy lost(&link, &ServerLink::lost);
    QSignalSpy held(&link, &ServerLink::held);
    link.startFollowing();
    ASSERT_TRUE(std::holds_alternative<varlo::GeneratorState>(link.readHeld()));
    EXPECT_TRUE(held.wait(2000));
    server.stop();
    ASSERT_TRUE(lost.wait(3000));
    QTest::qWait(3 * ServerLink::FollowIntervalMs);
    ASSERT_EQ(lost.count(), 1);
    EXPECT_EQ(lost.at(0).at(0).value<ServerFailure>().cause, Cause::Closed);
}

TEST(ServerLink, NothingListeningIsRefused)
{
    ServerLink link({"127.0.0.1", freeLoopbackPort()});
    EXPECT_EQ(link.setOutput(StartUpCommand), (ServerFailure{Cause::Refused, {}}));
}

// Qt finds the name malformed and asks no name server.
TEST(ServerLink, AMalformedNameIsAnUnknownHost)
{
    ServerLink link({"bench..pc", 5025});
    EXPECT_EQ(link.open(), (ServerFailure{Cause::HostUnknown, {}}));
}

// A server that takes the connection and never answers holds the caller about a second.
TEST(ServerLink, ASilentServerTimesOutAfterASecond)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    ServerLink link({"127.0.0.1", silent.serverPort()});
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(link.setOutput(StartUpCommand), (ServerFailure{Cause::TimedOut, {}}));
    const qint64 held = clock.elapsed();
    EXPECT_GE(held, ServerLink::AnswerTimeoutMs - 50);
    EXPECT_LT(held, 3 * ServerLink::AnswerTimeoutMs);
}

TEST(ServerLink, ATextThatIsNoCommandIsNotSent)
{
    ServerLink link({"127.0.0.1", freeLoopbackPort()});
    EXPECT_EQ(link.setOutput("8E3000"), (ServerFailure{Cause::NotACommand, "8E3000"}));
}

} // namespace
