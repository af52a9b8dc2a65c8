#pragma once

#include "scpi/generator/generator_link.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <vector>

class QTcpServer;

namespace varlo::scpi {

class ScpiConnection;

// Accepts the clients, each into a connection of its own, up to a number at once. When every
// place is taken, a new client takes the place of the one idle longest, if that one has been
// idle for the idle limit; else the new one is closed at once, unread. Each refusal and each
// client closed for another is one line on standard error, with the clients' addresses.
class ScpiServer : public QObject {
    Q_OBJECT

public:
    ScpiServer(GeneratorLink& generator, int maxClients, std::chrono::seconds idleLimit);
    ~ScpiServer() override;

    // Empty when listening, else why not, in the user's words.
    QString listen(const QHostAddress& address, quint16 port);
    // The address and port listened on, as "127.0.0.1:5025" or "[::]:5025".
    QString listeningOn() const;
    // The clients connected now.
    int clientCount() const { return static_cast<int>(connections_.size()); }
    // The port listened on.
    quint16 port() const;
    // Says goodbye to every client, as the program ends.
    void closeConnections();

Q_SIGNALS:
    void clientCountChanged();

private:
    void accept(int descriptor);
    ScpiConnection* idleLongest() const;

    GeneratorLink& generator_;
    int maxClients_;
    std::chrono::seconds idleLimit_;
    std::unique_ptr<QTcpServer> server_;
    std::vector<ScpiConnection*> connections_;
};

} // namespace varlo::scpi
