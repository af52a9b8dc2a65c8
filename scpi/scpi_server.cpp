#include "scpi/scpi_server.h"

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
    switch (server_.serverError()) {
    case QAbstractSocket::AddressInUseError:
        return QStringLiteral("the address is in use");
    case QAbstractSocket::SocketAddressNotAvailableError:
        return QStringLiteral("not an address of this machine");
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("permission denied (ports below 1024 need privileges)");
    default:
        return server_.errorString();
    }
}

QString ScpiServer::listeningOn() const
{
    const QHostAddress address = server_.serverAddress();
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return QStringLiteral("%1:%2").arg(host).arg(server_.serverPort());
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
