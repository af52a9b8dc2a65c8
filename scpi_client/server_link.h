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
// link, so that they share the generator with the other clients of the one owner of its line.
// setOutput waits for the server's answer as a write waits for a stalled line, because Enter
// must mean the same whichever way the panel drives the generator. The server drops settings
// not sent within SettingsDeadlineMs, so that a command given up on is never sent later.
// Following reports each spell without answers once, as the serial link reports a lost
// device once, so that an outage is one box and not a flood of them.
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
