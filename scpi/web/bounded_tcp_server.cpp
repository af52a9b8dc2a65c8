#include "scpi/web/bounded_tcp_server.h"

#include "scpi/generator/journal.h"
#include "scpi/web/served_facts.h"

#include <QPointer>
#include <QTcpSocket>

namespace varlo::scpi::web {

namespace {

// Lives as long as its connection's socket, which it counts.
class ConnectionCount : public QObject {
public:
    ConnectionCount(QTcpSocket* socket, BoundedTcpServer* server, int& count)
        : QObject(socket), server_(server), count_(count)
    {
        ++count_;
    }
    ~ConnectionCount() override
    {
        if (server_)
            --count_;
    }

private:
    QPointer<BoundedTcpServer> server_;
    int& count_;
};

} // namespace

BoundedTcpServer::BoundedTcpServer(int maxConnections, QObject* parent)
    : QTcpServer(parent), maxConnections_(maxConnections)
{
}

void BoundedTcpServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (connections_ >= maxConnections_) {
        journalLimited("web: refused", "web: refused " + peerText(*socket) + ": " +
                                           std::to_string(maxConnections_) +
                                           " connections are open");
        socket->abort();
        socket->deleteLater();
        return;
    }
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    new ConnectionCount(socket, this, connections_);
    addPendingConnection(socket);
}

} // namespace varlo::scpi::web
