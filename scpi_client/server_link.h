#pragma once

#include "protocol/generator_state.h"
#include "protocol/scpi_messages.h"
#include "scpi_client/server_address.h"
#include "scpi_client/server_failure.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <optional>
#include <string>
#include <string_view>
#include <variant>

class QEventLoop;

namespace varlo {

// The generator as varlo-scpi serves it, for the panel and varlo-send in place of the serial
// link: one TCP connection carrying plain SCPI lines, each answered by one line.
//
// setOutput has the server send a command, as SerialLink::setOutput writes one: the settings it
// carries go as one line, and the server's answer says whether it sent them. It waits at most
// AnswerTimeoutMs in all, connecting first when the connection is not open, and takes no user
// input meanwhile, as a write to a stalled line holds the window. A connection that fails, or
// a server that does not answer in time, is closed and reported; the next setOutput connects
// again. A refusal by the server leaves the connection open. The server sends the settings
// within SettingsDeadlineMs of their arrival or not at all, so that a command given up on is
// never sent later.
//
// While following, the link asks what the generator holds every FollowIntervalMs, without
// waiting, and tells each answer by held(). A connection that fails meanwhile is reported by
// lost(), once for each spell without answers: a failure that a call has reported already is
// not told again. Without a connection, the asking connects again in the background once a
// second, so that the panel shows the generator again soon after the server answers again.
class ServerLink final : public QObject {
    Q_OBJECT

public:
    // The longest a call waits for the server: as long as a stalled line may hold the window
    // in direct mode.
    static constexpr int AnswerTimeoutMs = 1000;
    static_assert(SettingsDeadlineMs < AnswerTimeoutMs);
    // Other clients' changes show on the panel within half a second.
    static constexpr int FollowIntervalMs = 200;

    explicit ServerLink(ServerAddress server, QObject* parent = nullptr);
    ~ServerLink() override;
    ServerLink(const ServerLink&) = delete;
    ServerLink& operator=(const ServerLink&) = delete;

    const ServerAddress& server() const { return server_; }

    // Connects unless connected, waiting as setOutput waits: nullopt once connected.
    std::optional<ServerFailure> open();
    // nullopt once the server has sent the command, else why it has not.
    std::optional<ServerFailure> setOutput(std::string_view command);
    // What the generator holds, asked and waited for as setOutput waits.
    std::variant<GeneratorState, ServerFailure> readHeld();
    void startFollowing();
    // A wait under way gives up at once, as at its deadline (a signal asks the program to end).
    void stopWaiting();
    void close();

Q_SIGNALS:
    void held(const GeneratorState& settings);
    void lost(const ServerFailure& failure);

private:
    std::variant<std::string, ServerFailure> exchange(const std::string& line);
    void startWaiting();
    void connectWithin(const QDeadlineTimer& deadline);
    template <class Done> void waitUntil(const QDeadlineTimer& deadline, Done done);
    // Ends a wait: nullopt when it got what it waited for, else why not, the connection
    // closed.
    std::optional<ServerFailure> finishWaiting(bool done);
    void wake();
    void connected();
    void askHeld();
    void readAnswers();
    void answered(const std::string& answer);
    void failed(QAbstractSocket::SocketError error);
    void fail(const ServerFailure& failure);
    void drop();

    ServerAddress server_;
    QTcpSocket socket_;
    QByteArray received_;
    QTimer followTimer_;
    QTimer answerTimer_; // a follow question unanswered for too long
    bool following_ = false;
    bool followAnswerPending_ = false;
    bool waiting_ = false;
    bool stopped_ = false;
    bool failureTold_ = false;      // since the server last answered
    QDeadlineTimer reconnectAfter_; // the next background connection, a second after a drop
    int connection_ = 0;            // counts the connections begun, to tell a stale failure
    QEventLoop* waitLoop_ = nullptr;
    std::optional<std::string> answer_;
    std::optional<ServerFailure> waitFailure_;
};

} // namespace varlo
