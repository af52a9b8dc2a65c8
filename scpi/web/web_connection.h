#pragma once

#include "scpi/web/http_answer.h"
#include "scpi/web/request_head.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class QTcpSocket;

namespace varlo::scpi::web {

// One HTTP connection of the web port, read here rather than by Qt HttpServer, whose read
// loop differs between Qt 6.4 and 6.8 and offers no hold on a connection in either: a
// request is answered only while what waits to be sent to the client stays within
// UnsentBytes, else nothing more is read (TCP holds the client back). Each answer is handed
// to the system before control returns to the event loop, so that a client that half-closes
// is still answered. At most RequestBytes of an unfinished request; one must come whole
// within RequestSeconds of connecting or of the last one, or the connection is closed.
// "Connection: close", HTTP/1.0 and a request with a body end it after the answer. A
// WebSocket opening the server takes leaves the socket, unread, to the live channel.
class WebConnection : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 RequestBytes = 16 * 1024;
    static constexpr qint64 UnsentBytes = 64 * 1024;
    static constexpr int RequestSeconds = 10;

    // The answer to a request, or none when the socket now carries a live channel.
    using Handler = std::function<std::optional<Answer>(const RequestHead&, QTcpSocket&)>;

    // Lives as long as the socket, its parent.
    WebConnection(QTcpSocket* socket, Handler handler);

private:
    void readRequests();
    void send(const Answer& answer, bool headOnly, bool closing);
    void refuse(int status, const std::string& why);
    void timedOut();

    QTcpSocket* socket_;
    Handler handler_;
    QTimer deadline_;
    bool closing_ = false;
    bool handling_ = false;
};

} // namespace varlo::scpi::web
