#pragma once

#include "scpi/portmapper/portmapper_answer.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUdpSocket>

namespace varlo::scpi {

// The program's own portmapper, for a machine without rpcbind: NULL and GETPORT of version 2
// answered on TCP and UDP port 111. A UDP datagram is one record; a TCP client's records are
// read one at a time through the record reader, at most MaxConnections clients at once, each
// closed once it has sent nothing whole for ConnectionTimeoutMs or leaves replies unread.
// Bound to every address, it also answers the broadcasts with which `lxi discover` and the
// VISA libraries look for instruments.
class OwnPortmapper : public QObject {
public:
    static constexpr std::size_t MaxRecordBytes = 1024;
    static constexpr int MaxConnections = 8;
    static constexpr int ConnectionTimeoutMs = 5000;

    explicit OwnPortmapper(CorePortSource corePort);

    // Empty when it answers on both, else why not, in the user's words.
    QString listen(const QHostAddress& address);
    // Where it answers, as "127.0.0.1:111".
    QString listeningOn() const;

private:
    void accept();
    void answerDatagrams();

    CorePortSource corePort_;
    QTcpServer tcp_;
    QUdpSocket udp_;
    int connections_ = 0;
};

} // namespace varlo::scpi
