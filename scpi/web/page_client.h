#pragma once

#include "scpi/generator/client_session.h"
#include "scpi/generator/generator_link.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

#include <memory>

class QWebSocket;

namespace varlo::scpi::web {

// One open page's live channel (a WebSocket). The page sends SCPI lines, one per message;
// they run in a session of the page's own at the generator's one owner, in turn with every
// other client's lines, and each gets one answer message back, in order: {"reply": TEXT} or
// {"reply": null} when the line had no query. A page that sends more lines while
// MaxMessagesWaiting of its own wait is closed, with the reason in words: a WebSocket cannot be
// held back as a TCP client is. The program pushes
// {"status": ...} when what the generator holds changes; a page that does not take its messages
// gets only the latest status once it does.
class PageClient : public QObject {
    Q_OBJECT

public:
    static constexpr int MaxMessagesWaiting = 8;

    PageClient(std::unique_ptr<QWebSocket> socket, GeneratorLink& generator, QObject* parent);
    ~PageClient() override;

    void send(const QByteArray& message);
    // The address of this machine the page came in on.
    QHostAddress localAddress() const;
    void sendStatus(const QByteArray& status);
    // Says goodbye, as the program ends.
    void close();

Q_SIGNALS:
    // The page has gone.
    void finished();

private:
    void runMessage(const QString& line);
    bool backedUp() const;
    void sendReply(const std::optional<std::string>& reply);
    void sendWaitingStatus();

    std::unique_ptr<QWebSocket> socket_;
    ClientSession session_;
    QByteArray waitingStatus_;
};

} // namespace varlo::scpi::web
