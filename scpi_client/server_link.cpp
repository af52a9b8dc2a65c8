#include "scpi_client/server_link.h"

#include "protocol/scpi_messages.h"

#include <QEventLoop>
#include <QMetaObject>

#include <utility>

namespace varlo {

namespace {

// How the socket's failures are told; any other is a network error.
struct ErrorCause {
    QAbstractSocket::SocketError error;
    ServerFailure::Cause cause;
};
constexpr ErrorCause ErrorCauses[] = {
    {QAbstractSocket::ConnectionRefusedError, ServerFailure::Cause::Refused},
    {QAbstractSocket::HostNotFoundError, ServerFailure::Cause::HostUnknown},
    {QAbstractSocket::NetworkError, ServerFailure::Cause::Unreachable},
    {QAbstractSocket::SocketTimeoutError, ServerFailure::Cause::TimedOut},
    {QAbstractSocket::RemoteHostClosedError, ServerFailure::Cause::Closed},
};

ServerFailure failureOf(QAbstractSocket::SocketError error)
{
    for (const ErrorCause& row : ErrorCauses)
        if (row.error == error)
            return {row.cause, {}};
    return {ServerFailure::Cause::NetworkError, {}};
}

// How often the following tries to connect again, without a connection.
constexpr int ReconnectIntervalMs = 1000;

// Far beyond any answer of the server: what comes without an end of line past this is dropped.
constexpr qsizetype MaxAnswerBytes = 64 * 1024;

} // namespace

ServerLink::ServerLink(ServerAddress server, QObject* parent)
    : QObject(parent), server_(std::move(server))
{
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(&socket_, &QTcpSocket::connected, this, &ServerLink::connected);
    connect(&socket_, &QTcpSocket::readyRead, this, &ServerLink::readAnswers);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &ServerLink::failed);
    followTimer_.setInterval(FollowIntervalMs);
    connect(&followTimer_, &QTimer::timeout, this, &ServerLink::askHeld);
    answerTimer_.setSingleShot(true);
    answerTimer_.setInterval(AnswerTimeoutMs);
    connect(&answerTimer_, &QTimer::timeout, this, [this] {
        fail({ServerFailure::Cause::TimedOut, {}});
    });
}

ServerLink::~ServerLink()
{
    close();
}

std::optional<ServerFailure> ServerLink::setOutput(std::string_view command)
{
    const std::optional<std::string> settings = settingsMessage(command);
    if (!settings)
        return ServerFailure{ServerFailure::Cause::NotACommand, std::string(command)};
    auto answer = exchange(confirmedMessage(*settings));
    if (auto* failure = std::get_if<ServerFailure>(&answer))
        return std::move(*failure);
    if (std::optional<std::string> error = errorInAnswer(std::get<std::string>(answer)))
        return serverRefusal(std::move(*error));
    return std::nullopt;
}

std::variant<GeneratorState, ServerFailure> ServerLink::readHeld()
{
    auto answer = exchange(HeldSettingsQuery);
    if (auto* failure = std::get_if<ServerFailure>(&answer))
        return std::move(*failure);
    if (const std::optional<GeneratorState> held = readHeldSettings(std::get<std::string>(answer)))
        return *held;
    return ServerFailure{ServerFailure::Cause::ServerError, std::get<std::string>(answer)};
}

void ServerLink::startFollowing()
{
    following_ = true;
    followTimer_.start();
}

void ServerLink::stopWaiting()
{
    stopped_ = true;
    wake();
}

void ServerLink::close()
{
    following_ = false;
    followTimer_.stop();
    drop();
}

std::optional<ServerFailure> ServerLink::open()
{
    const QDeadlineTimer deadline(AnswerTimeoutMs);
    startWaiting();
    connectWithin(deadline);
    return finishWaiting(socket_.state() == QAbstractSocket::ConnectedState);
}

std::variant<std::string, ServerFailure> ServerLink::exchange(const std::string& line)
{
    const QDeadlineTimer deadline(AnswerTimeoutMs);
    startWaiting();
    connectWithin(deadline);
    if (socket_.state() == QAbstractSocket::ConnectedState && !waitFailure_ && !stopped_) {
        const std::string sent = line + "\n";
        socket_.write(sent.data(), static_cast<qint64>(sent.size()));
        waitUntil(deadline, [this] { return answer_.has_value(); });
    }
    if (std::optional<ServerFailure> failure = finishWaiting(answer_.has_value()))
        return std::move(*failure);
    return std::exchange(answer_, std::nullopt).value();
}

void ServerLink::startWaiting()
{
    waiting_ = true;
    stopped_ = false;
    answer_.reset();
    waitFailure_.reset();
}

void ServerLink::connectWithin(const QDeadlineTimer& deadline)
{
    if (socket_.state() == QAbstractSocket::ConnectedState)
        return;
    drop();
    ++connection_;
    socket_.connectToHost(QString::fromStdString(server_.host), static_cast<quint16>(server_.port));
    waitUntil(deadline, [this] { return socket_.state() == QAbstractSocket::ConnectedState; });
}

std::optional<ServerFailure> ServerLink::finishWaiting(bool done)
{
    waiting_ = false;
    if (done)
        return std::nullopt;
    const ServerFailure failure =
        waitFailure_.value_or(ServerFailure{ServerFailure::Cause::TimedOut, {}});
    drop();
    // The caller reports it.
    failureTold_ = true;
    return failure;
}

// The event loop runs meanwhile, without user input, so that the socket is served; a quit of
// the whole program ends the wait at once.
template <class Done> void ServerLink::waitUntil(const QDeadlineTimer& deadline, Done done)
{
    while (!done() && !waitFailure_ && !stopped_ && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(static_cast<int>(deadline.remainingTime()));
        waitLoop_ = &loop;
        const int ended = loop.exec(QEventLoop::ExcludeUserInputEvents);
        waitLoop_ = nullptr;
        if (ended < 0)
            stopped_ = true;
    }
}

void ServerLink::wake()
{
    if (waitLoop_)
        waitLoop_->quit();
}

void ServerLink::connected()
{
    wake();
    if (!waiting_)
        askHeld();
}

void ServerLink::askHeld()
{
    if (waiting_ || followAnswerPending_)
        return;
    if (socket_.state() == QAbstractSocket::UnconnectedState) {
        if (!reconnectAfter_.hasExpired())
            return;
        // The question goes once connected; a connection that takes too long is given up as
        // an unanswered question is.
        ++connection_;
        socket_.connectToHost(QString::fromStdString(server_.host),
                              static_cast<quint16>(server_.port));
        answerTimer_.start();
        return;
    }
    if (socket_.state() != QAbstractSocket::ConnectedState)
        return;
    const std::string asked = std::string(HeldSettingsQuery) + "\n";
    socket_.write(asked.data(), static_cast<qint64>(asked.size()));
    followAnswerPending_ = true;
    answerTimer_.start();
}

void ServerLink::readAnswers()
{
    received_ += socket_.readAll();
    for (qsizetype end = received_.indexOf('\n'); end >= 0; end = received_.indexOf('\n')) {
        QByteArray line = received_.left(end);
        received_.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        answered(line.toStdString());
    }
    if (received_.size() > MaxAnswerBytes)
        received_.clear();
}

// Answers come in the order of the lines: the answer to a follow question asked before a
// waiting call comes first, and is out of date by the time that call returns.
void ServerLink::answered(const std::string& answer)
{
    failureTold_ = false;
    if (followAnswerPending_) {
        followAnswerPending_ = false;
        answerTimer_.stop();
        if (!waiting_)
            if (const std::optional<GeneratorState> settings = readHeldSettings(answer))
                Q_EMIT held(*settings);
        return;
    }
    if (waiting_ && !answer_) {
        answer_ = answer;
        wake();
    }
}

void ServerLink::failed(QAbstractSocket::SocketError error)
{
    if (waiting_) {
        fail(failureOf(error));
        return;
    }
    // Told from inside the socket's own signal: the socket is closed, and the loss told, from
    // the event loop, unless a call has connected anew by then.
    QMetaObject::invokeMethod(
        this,
        [this, failure = failureOf(error), connection = connection_] {
            if (connection == connection_)
                fail(failure);
        },
        Qt::QueuedConnection);
}

void ServerLink::fail(const ServerFailure& failure)
{
    if (waiting_) {
        if (!waitFailure_)
            waitFailure_ = failure;
        wake();
        return;
    }
    drop();
    if (following_ && !failureTold_) {
        failureTold_ = true;
        Q_EMIT lost(failure);
    }
}

void ServerLink::drop()
{
    reconnectAfter_.setRemainingTime(ReconnectIntervalMs);
    socket_.abort();
    received_.clear();
    followAnswerPending_ = false;
    answerTimer_.stop();
}

} // namespace varlo
