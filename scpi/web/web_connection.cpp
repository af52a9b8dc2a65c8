#include "scpi/web/web_connection.h"

#include "scpi/generator/journal.h"
#include "scpi/web/served_facts.h"

#include <QTcpSocket>

namespace varlo::scpi::web {

WebConnection::WebConnection(QTcpSocket* socket, Handler handler)
    : QObject(socket), socket_(socket), handler_(std::move(handler))
{
    // Qt reads no more into the socket's buffer than a request may be long.
    socket_->setReadBufferSize(RequestBytes);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &WebConnection::timedOut);
    connect(socket_, &QTcpSocket::readyRead, this, &WebConnection::readRequests);
    connect(socket_, &QTcpSocket::bytesWritten, this, &WebConnection::readRequests);
    connect(socket_, &QTcpSocket::disconnected, this, [this] { socket_->deleteLater(); });
    deadline_.start(RequestSeconds * 1000);
    readRequests();
}

void WebConnection::readRequests()
{
    if (handling_)
        return;
    while (!closing_ && socket_->bytesToWrite() <= UnsentBytes) {
        const QByteArray waiting = socket_->peek(RequestBytes);
        const auto read = readRequestHead(std::string_view(waiting.constData(), waiting.size()));
        if (const auto* reading = std::get_if<HeadReading>(&read)) {
            if (*reading == HeadReading::Malformed)
                refuse(400, "not an HTTP/1.1 request");
            else if (waiting.size() >= RequestBytes)
                refuse(431,
                       "a request longer than " + std::to_string(RequestBytes / 1024) + " KiB");
            return;
        }
        const RequestHead& head = std::get<RequestHead>(read);
        deadline_.start();
        if (head.asksForWebSocket() && !head.upgradeFault().empty()) {
            refuse(400, head.upgradeFault());
            return;
        }
        // Qt WebSockets tells of the opening's bytes again from inside the handler.
        handling_ = true;
        const std::optional<Answer> answer = handler_(head, *socket_);
        handling_ = false;
        if (!answer) {
            // The live channel reads the opening itself, from the socket's buffer.
            deadline_.stop();
            disconnect(socket_, nullptr, this, nullptr);
            return;
        }
        socket_->skip(qint64(head.length));
        send(*answer, head.method == "HEAD",
             !head.keepsConnection() || head.hasBody() || head.asksForWebSocket());
    }
}

void WebConnection::send(const Answer& answer, bool headOnly, bool closing)
{
    const std::string bytes = answerBytes(answer, headOnly, closing);
    socket_->write(bytes.data(), qint64(bytes.size()));
    // Qt's socket closes at once when it reads the end of the client's input, and drops what
    // it has not handed to the system by then.
    socket_->flush();
    if (closing) {
        // The deadline stays: a client that never takes the answer does not keep the place.
        closing_ = true;
        socket_->disconnectFromHost();
    }
}

void WebConnection::refuse(int status, const std::string& why)
{
    journalLimited("web: refused " + std::to_string(status) + ", " + why,
                   "web: refused " + peerText(*socket_) + ": " + std::to_string(status) + ' ' +
                       reasonPhrase(status) + ", " + why);
    send({status, "text/plain; charset=utf-8", reasonPhrase(status) + ": " + why + ".\n"}, false,
         true);
}

// A connection with nothing begun and nothing unsent is a browser's kept one, closed quietly.
void WebConnection::timedOut()
{
    if (socket_->bytesToWrite() > 0)
        journalLimited("web: closed unread", "web: closed " + peerText(*socket_) +
                                                 ": took no answer for " +
                                                 std::to_string(RequestSeconds) + " s");
    else if (socket_->bytesAvailable() > 0)
        journalLimited("web: closed slow", "web: closed " + peerText(*socket_) +
                                               ": no whole request within " +
                                               std::to_string(RequestSeconds) + " s");
    socket_->abort();
    socket_->deleteLater();
}

} // namespace varlo::scpi::web
