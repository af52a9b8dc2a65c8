// The link to varlo-scpi where no varlo-scpi answers: nothing listening, no such host, and a
// server that takes the connection and stays silent.

#include "scpi_client/server_link.h"
#include "tests/scpi_process.h"
#include "tests/start_up_command.h"

#include <QElapsedTimer>
#include <QTcpServer>

#include <gtest/gtest.h>

namespace {

using varlo::ServerFailure;
using varlo::ServerLink;
using Cause = ServerFailure::Cause;

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

} // namespace
