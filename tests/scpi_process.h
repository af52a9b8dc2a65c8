#pragma once

#include "scpi_client/server_address.h"

#include <QProcess>
#include <QString>
#include <QtGlobal>

// The built varlo-scpi on the port COMn of a port directory, listening on loopback: on a free
// port, or on a given one (to stand in again for a server that went away).
class ScpiProcess {
public:
    ScpiProcess(const QString& portDir, int comPort, int listenPort = 0);
    ~ScpiProcess();
    ScpiProcess(const ScpiProcess&) = delete;
    ScpiProcess& operator=(const ScpiProcess&) = delete;

    // Where it listens; a port of 0 while it has not said so.
    varlo::ServerAddress address() const { return address_; }
    // Ends it with SIGTERM, as a service stopped, and waits for it.
    void stop();

private:
    QProcess process_;
    varlo::ServerAddress address_{"127.0.0.1", 0};
};

// A port on loopback that nothing listens on, for a server that is not there (yet).
quint16 freeLoopbackPort();
