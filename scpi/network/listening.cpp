#include "scpi/network/listening.h"

#include "entry/host_and_port.h"

#include <QTcpServer>

namespace varlo::scpi {

QString listenFailureText(const QTcpServer& server)
{
    switch (server.serverError()) {
    case QAbstractSocket::AddressInUseError:
        return QStringLiteral("the address is in use");
    case QAbstractSocket::SocketAddressNotAvailableError:
        return QStringLiteral("not an address of this machine");
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("permission denied (ports below 1024 need privileges)");
    default:
        return server.errorString();
    }
}

QString hostPortText(const QHostAddress& address, quint16 port)
{
    return QString::fromStdString(hostAndPortText(address.toString().toStdString(), port));
}

} // namespace varlo::scpi
