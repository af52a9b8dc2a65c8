#include "scpi/web/bounded_tcp_server.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace varlo::scpi::web {

namespace {

// Lives as long as its connection, which it counts, and closes it when a request has not come
// whole in time. The HTTP server drops its own hold on a connection it cannot read.
class ConnectionGuard : public QTimer {
public:
    static constexpr const char* Name = "varlo-connection-guard";

    ConnectionGuard(QTcpSocket* socket, BoundedTcpServer* server, int& count)
        : QTimer(socket), server_(server), count_(count)
    {
        ++count_;
        setObjectName(QLatin1String(Name));
        setSingleShot(true);
        connect(this, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        start(BoundedTcpServer::RequestSeconds * 1000);
    }
    ~ConnectionGuard() override
    {
        if (server_)
            --count_;
    }

private:
    QPointer<BoundedTcpServer> server_;
    int& count_;
};

ConnectionGuard* guardOf(QTcpSocket* socket)
{
    return static_cast<ConnectionGuard*>(socket->findChild<QTimer*>(
        QLatin1String(ConnectionGuard::Name), Qt::FindDirectChildrenOnly));
}

} // namespace

BoundedTcpServer::BoundedTcpServer(int maxConnections, QObject* parent)
    : QTcpServer(parent), maxConnections_(maxConnections)
{
}

void BoundedTcpServer::requestArrived(QTcpSocket* socket)
{
    if (ConnectionGuard* guard = guardOf(socket))
        guard->start();
}

void BoundedTcpServer::becameLive(QTcpSocket* socket)
{
    if (ConnectionGuard* guard = guardOf(socket))
        guard->stop();
}

void BoundedTcpServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (connections_ >= maxConnections_) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // Qt reads a request into the socket's buffer until it is whole: a longer one fills the
    // buffer, is read no further and meets its deadline.
    socket->setReadBufferSize(RequestBytes);
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    new ConnectionGuard(socket, this, connections_);
    addPendingConnection(socket);
}

} // namespace varlo::scpi::web
