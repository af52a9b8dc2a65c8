#include "scpi/scpi_server.h"

#include "scpi/listening.h"
#include "scpi/scpi_connection.h"

#include <QTcpSocket>

namespace varlo::scpi {

ScpiServer::ScpiServer(GeneratorLink& generator, int maxClients)
    : generator_(generator), maxClients_(maxClients)
{
    connect(&server_, &QTcpServer::newConnection, this, &ScpiServer::acceptClients);
}

QString ScpiServer::listen(const QHostAddress& address, quint16 port)
{
    if (server_.listen(address, port))
        return {};
    return listenFailureText(server_);
}

QString ScpiServer::listeningOn() const
{
    return hostPortText(server_.serverAddress(), server_.serverPort());
}

void ScpiServer::closeConnections()
{
    server_.close();
    for (ScpiConnection* connection : findChildren<ScpiConnection*>(Qt::FindDirectChildrenOnly))
        connection->close();
}

void ScpiServer::acceptClients()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (clients_ >= maxClients_) {
            socket->close();
            socket->deleteLater();
            continue;
        }
        ++clients_;
        auto* connection = new ScpiConnection(socket, generator_, this);
        connect(connection, &ScpiConnection::finished, this, [this, connection] {
            --clients_;
            connection->deleteLater();
        });
    }
}

} // namespace varlo::scpi
