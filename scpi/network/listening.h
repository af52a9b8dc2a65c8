#pragma once

#include <QHostAddress>
#include <QString>

class QTcpServer;

namespace varlo::scpi {

// Why a server could not listen, in the user's words.
QString listenFailureText(const QTcpServer& server);

// An address and port as the user writes them: "127.0.0.1:5025", "[::]:5025".
QString hostPortText(const QHostAddress& address, quint16 port);

} // namespace varlo::scpi
