#include "scpi/web/page_client.h"

#include "scpi/command_table.h"
#include "scpi/input_lines.h"
#include "scpi/line_run.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
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
    : QObject(parent), socket_(std::move(socket)), generator_(generator)
{
    // A line longer than a socket client may send is refused before it is read.
    socket_->setMaxAllowedIncomingMessageSize(InputLines::MaxLineBytes);
    socket_->setMaxAllowedIncomingFrameSize(InputLines::MaxLineBytes);
    connect(socket_.get(), &QWebSocket::textMessageReceived, this, &PageClient::runLine);
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

void PageClient::runLine(const QString& line)
{
    if (linesWaiting_ >= MaxLinesWaiting) {
        socket_->close(QWebSocketProtocol::CloseCodePolicyViolated,
                       QStringLiteral("more than %1 lines sent without waiting for their replies")
                           .arg(MaxLinesWaiting));
        return;
    }
    ++linesWaiting_;
    // Every line waits its turn at the generator, also one that needs nothing of the line,
    // so that the page's replies come in the order of its lines.
    generator_.submit(session_, LineRun(stepsForLine(line.toStdString())),
                      [self = QPointer<PageClient>(this)](std::optional<std::string> reply) {
                          if (!self)
                              return;
                          --self->linesWaiting_;
                          const QJsonValue text = reply ? QJsonValue(QString::fromStdString(*reply))
                                                        : QJsonValue(QJsonValue::Null);
                          self->send(compact({{QStringLiteral("reply"), text}}));
                      });
}

} // namespace varlo::scpi::web
