#include "scpi/web/page_client.h"

#include "scpi/generator/journal.h"
#include "scpi/language/program_message.h"
#include "scpi/network/listening.h"
#include "scpi/web/served_facts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
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

PageClient::PageClient(std::unique_ptr<QWebSocket> socket, QTcpSocket* tcp,
                       GeneratorLink& generator, QObject* parent)
    : QObject(parent), socket_(std::move(socket)), tcp_(tcp),
      session_(generator, GeneratorLink::ClientKind::Page,
               "WEB " +
                   (tcp ? peerText(*tcp)
                        : hostPortText(plainAddress(socket_->peerAddress()), socket_->peerPort())
                              .toStdString()))
{
    // A line longer than a socket client may send is refused before it is read.
    socket_->setMaxAllowedIncomingMessageSize(MaxMessageBytes);
    socket_->setMaxAllowedIncomingFrameSize(MaxMessageBytes);
    connect(socket_.get(), &QWebSocket::textMessageReceived, this, &PageClient::runMessage);
    connect(socket_.get(), &QWebSocket::bytesWritten, this, &PageClient::sendWaitingStatus);
    connect(socket_.get(), &QWebSocket::disconnected, this, &PageClient::finished);
    // Connected after Qt WebSockets' own reader: the pongs to what came are counted here.
    if (tcp_)
        connect(tcp_, &QTcpSocket::readyRead, this, &PageClient::checkUnsent);
}

PageClient::~PageClient() = default;

void PageClient::send(const QByteArray& message)
{
    if (closing_)
        return;
    socket_->sendTextMessage(QString::fromUtf8(message));
    checkUnsent();
}

void PageClient::checkUnsent()
{
    if (socket_->bytesToWrite() > UnsentBytes)
        closeForPolicy(QStringLiteral("more than %1 KiB sent to the page and not taken")
                           .arg(UnsentBytes / 1024));
}

void PageClient::closeForPolicy(const QString& why)
{
    if (closing_)
        return;
    closing_ = true;
    closeReason_ = why;
    const std::string peer = tcp_ ? peerText(*tcp_) : std::string("a page");
    journalLimited("web: closed page",
                   "web: closed the page of " + peer + ": " + why.toStdString());
    if (!tcp_) {
        socket_->close(QWebSocketProtocol::CloseCodePolicyViolated, why);
        return;
    }
    // Nothing more is read from it (TCP holds it back). Qt WebSockets drops what is unsent
    // when it closes, so the goodbye waits until the page has taken the rest; a page that
    // never does is cut off.
    disconnect(tcp_, &QTcpSocket::readyRead, nullptr, nullptr);
    connect(tcp_, &QTcpSocket::bytesWritten, this, &PageClient::closeWhenDrained);
    QTimer::singleShot(DrainSeconds * 1000, tcp_, [tcp = tcp_] { tcp->abort(); });
    closeWhenDrained();
}

// Qt WebSockets drops what is unsent when it closes, and a connection closed with the page's
// input unread is reset, which drops it at the page's end too: the close frame is written
// here, after the rest, as the last frame, and the connection left for the page to end.
void PageClient::closeWhenDrained()
{
    if (closeSent_ || !tcp_ || tcp_->bytesToWrite() > 0)
        return;
    closeSent_ = true;
    const QByteArray reason = closeReason_.toUtf8().left(123);
    const auto code = quint16(QWebSocketProtocol::CloseCodePolicyViolated);
    QByteArray frame;
    frame.append(char(0x88)).append(char(2 + reason.size()));
    frame.append(char(code >> 8)).append(char(code & 0xff)).append(reason);
    tcp_->write(frame);
    tcp_->flush();
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
    if (closing_)
        return;
    if (session_.messagesWaiting() >= MaxMessagesWaiting) {
        closeForPolicy(QStringLiteral("more than %1 lines sent without waiting for their replies")
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
