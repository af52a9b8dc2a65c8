#pragma once

#include <QTcpServer>

namespace varlo::scpi::web {

// The web port's listening socket, bounded as the SCPI port is: at most a number of
// connections at once, one more closed at once and told in the journal. A connection counts
// until its socket is gone, also while it carries a page's live channel.
class BoundedTcpServer : public QTcpServer {
    Q_OBJECT

public:
    BoundedTcpServer(int maxConnections, QObject* parent);

    int connectionCount() const { return connections_; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    int maxConnections_;
    int connections_ = 0;
};

} // namespace varlo::scpi::web
