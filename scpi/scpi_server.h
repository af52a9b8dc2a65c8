#pragma once

#include "scpi/generator_link.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>

namespace varlo::scpi {

// Accepts the clients, each into a connection of its own, up to a number at once; one more
// is accepted and closed at once, unread.
class ScpiServer : public QObject {
    Q_OBJECT

public:
    ScpiServer(GeneratorLink& generator, int maxClients);

    // Empty when listening, else why not, in the user's words.
    QString listen(const QHostAddress& address, quint16 port);
    // The address and port listened on, as "127.0.0.1:5025" or "[::]:5025".
    QString listeningOn() const;
    quint16 port() const { return server_.serverPort(); }
    int clientCount() const { return clients_; }
    // Says goodbye to every client, as the program ends.
    void closeConnections();

private:
    void acceptClients();

    GeneratorLink& generator_;
    int maxClients_;
    int clients_ = 0;
    QTcpServer server_;
};

} // namespace varlo::scpi
