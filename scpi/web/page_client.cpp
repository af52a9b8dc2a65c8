#include "scpi/web/page_client.h"

#include "scpi/language/program_message.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QWebSocket>

namespace varlo::scpi::web {

namespace {

// Messages the page has not taken yet: past that, statuses wait for it.
constexpr qint64 UnsentMessages = 64 * 1024;

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

PageClient::PageClient(std::unique_ptr<QWebSocket> socket, GeneratorLink& generator,
                       QObject* parent)
    : QObject(parent), socket_(std::move(socket)),
      session_(generator, GeneratorLink::ClientKind::Page)
{
    // A line longer than a socket client may send is refused before it is read.
    socket_->setMaxAllowedIncomingMessageSize(MaxMessageBytes);
    socket_->setMaxAllowedIncomingFrameSize(MaxMessageBytes);
    connect(socket_.get(), &QWebSocket::textMessageReceived, this, &PageClient::runMessage);
    connect(socket_.get(), &QWebSocket::bytesWritten, this, &PageClient::sendWaitingStatus);
    connect(socket_.get(), &QWebSocket::disconnected, this, &PageClient::finished);
}

PageClient::~PageClient() = default;

void PageClient::send(const QByteArray& message)
{
    socket_->sendTextMessage(QString::fromUtf8(message));
}

QHostAddress PageClient::localAddress() const
{
    return socket_->localAddress();
}

void PageClient::sendStatus(const QByteArray& status)
{
    waitingStatus_ = status;
    sendWaitingStatus();
}

void PageClient::close()
{
    socket_->close(QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("varlo-scpi has ended"));
}

bool PageClient::backedUp() const
{
    return socket_->bytesToWrite() > UnsentMessages;
}

void PageClient::sendWaitingStatus()
{
    if (waitingStatus_.isEmpty() || backedUp())
        return;
    send(waitingStatus_);
    waitingStatus_.clear();
}

void PageClient::runMessage(const QString& line)
{
    if (session_.messagesWaiting() >= MaxMessagesWaiting) {
        socket_->close(QWebSocketProtocol::CloseCodePolicyViolated,
                       QStringLiteral("more than %1 lines sent without waiting for their replies")
                           .arg(MaxMessagesWaiting));
        return;
    }
    // A line that needs nothing of the line is answered at once, unless one of the page's own
    // still waits: its replies come in the order of its lines. The session drops the reply
    // of a line that ends after the page has gone.
    session_.run({line.toStdString(), false},
                 [this](const std::optional<std::string>& reply) { sendReply(reply); });
}

void PageClient::sendReply(const std::optional<std::string>& reply)
{
    const QJsonValue text =
        reply ? QJsonValue(QString::fromStdString(*reply)) : QJsonValue(QJsonValue::Null);
    send(compact({{QStringLiteral("reply"), text}}));
}

} // namespace varlo::scpi::web
