#pragma once

#include "scpi/generator/client_session.h"
#include "scpi/generator/generator_link.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include <memory>

class QTcpSocket;
class QWebSocket;

namespace varlo::scpi::web {

// One open page's live channel (a WebSocket). The page sends SCPI lines, one per message;
// they run in a session of the page's own at the generator's one owner, in turn with every
// other client's lines, and each gets one answer message back, in order: {"reply": TEXT} or
// {"reply": null} when the line had no query. A page that sends more lines while
// MaxMessagesWaiting of its own wait, or that leaves more than UnsentBytes of replies,
// pongs and statuses untaken, is closed (1008), with the reason in words: a WebSocket cannot
// be held back as a TCP client is. The program pushes
// {"status": ...} when what the generator holds changes; a page that does not take its messages
// gets only the latest status once it does.
class PageClient : public QObject {
    Q_OBJECT

public:
    static constexpr int MaxMessagesWaiting = 8;
    static constexpr qint64 UnsentBytes = 256 * 1024;
    // How long a page closed for its conduct has to take what it was sent before its goodbye.
    static constexpr int DrainSeconds = 10;

    // `tcp` is the connection under the socket, where every frame the page is sent waits.
    PageClient(std::unique_ptr<QWebSocket> socket, QTcpSocket* tcp, GeneratorLink& generator,
               QObject* parent);
    ~PageClient() override;

    void send(const QByteArray& message);
    // The address of this machine the page came in on.
    QHostAddress localAddress() const;
    void sendStatus(const QByteArray& status);
    // Whether this page's session holds the generator's lock.
    bool holdsLock() const { return session_.holdsLock(); }
    // Says goodbye, as the program ends.
    void close();

Q_SIGNALS:
    // The page has gone.
    void finished();

private:
    void runMessage(const QString& line);
    // Closes the page, with the reason, when it takes too little of what it is sent.
    void checkUnsent();
    void closeForPolicy(const QString& why);
    void closeWhenDrained();
    bool backedUp() const;
    void sendReply(const std::optional<std::string>& reply);
    void sendWaitingStatus();

    std::unique_ptr<QWebSocket> socket_;
    QPointer<QTcpSocket> tcp_;
    ClientSession session_;
    QByteArray waitingStatus_;
    bool closing_ = false;
    bool closeSent_ = false;
    QString closeReason_;
};

} // namespace varlo::scpi::web
