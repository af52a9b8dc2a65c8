#pragma once

#include <QTcpServer>

class QTcpSocket;

namespace varlo::scpi::web {

// The web port's listening socket, bounded as the SCPI port is: at most a number of
// connections at once, one more closed at once; each holds at most RequestBytes of a request
// it has not finished, and must finish one within RequestSeconds of connecting or of its last
// one, or is closed. A connection that has become a page's live channel has no deadline.
class BoundedTcpServer : public QTcpServer {
    Q_OBJECT

public:
    static constexpr qint64 RequestBytes = 16 * 1024;
    static constexpr int RequestSeconds = 10;

    BoundedTcpServer(int maxConnections, QObject* parent);

    int connectionCount() const { return connections_; }

    // A whole request has come on the socket: the next has its own time.
    static void requestArrived(QTcpSocket* socket);
    // The socket now carries a page's live channel.
    static void becameLive(QTcpSocket* socket);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    int maxConnections_;
    int connections_ = 0;
};

} // namespace varlo::scpi::web
