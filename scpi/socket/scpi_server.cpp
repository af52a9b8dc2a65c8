#include "scpi/socket/scpi_server.h"

#include "scpi/generator/journal.h"
#include "scpi/network/client_stream.h"
#include "scpi/network/descriptor_server.h"
#include "scpi/network/listening.h"
#include "scpi/socket/scpi_connection.h"

#include <algorithm>

#include <unistd.h>

namespace varlo::scpi {

ScpiServer::ScpiServer(GeneratorLink& generator, int maxClients, std::chrono::seconds idleLimit)
    : generator_(generator), maxClients_(maxClients), idleLimit_(idleLimit),
      server_(std::make_unique<DescriptorServer>([this](int descriptor) { accept(descriptor); }))
{
}

ScpiServer::~ScpiServer() = default;

QString ScpiServer::listen(const QHostAddress& address, quint16 port)
{
    if (server_->listen(address, port))
        return {};
    return listenFailureText(*server_);
}

QString ScpiServer::listeningOn() const
{
    return hostPortText(server_->serverAddress(), server_->serverPort());
}

quint16 ScpiServer::port() const
{
    return server_->serverPort();
}

void ScpiServer::closeConnections()
{
    server_->close();
    for (ScpiConnection* connection : std::vector(connections_))
        connection->close();
}

void ScpiServer::accept(int descriptor)
{
    if (clientCount() >= maxClients_) {
        const std::string peer = peerAddress(descriptor);
        ScpiConnection* idle = idleLongest();
        if (idle == nullptr) {
            journalLimited("refused", "refused " + peer + ": " + std::to_string(maxClients_) +
                                          (maxClients_ == 1 ? " client is" : " clients are") +
                                          " connected and none has been idle for " +
                                          std::to_string(idleLimit_.count()) + " s");
            ::close(descriptor);
            return;
        }
        const auto idleFor = std::chrono::duration_cast<std::chrono::seconds>(
            ScpiConnection::Clock::now() - *idle->idleSince());
        journal("closed " + idle->peer() + ", idle for " + std::to_string(idleFor.count()) +
                " s, to make room for " + peer);
        idle->close();
    }
    auto* connection = new ScpiConnection(descriptor, generator_, this);
    connections_.push_back(connection);
    connect(connection, &ScpiConnection::finished, this, [this, connection] {
        std::erase(connections_, connection);
        connection->deleteLater();
        Q_EMIT clientCountChanged();
    });
    Q_EMIT clientCountChanged();
}

ScpiConnection* ScpiServer::idleLongest() const
{
    const auto latest = ScpiConnection::Clock::now() - idleLimit_;
    ScpiConnection* longest = nullptr;
    for (ScpiConnection* connection : connections_) {
        const auto since = connection->idleSince();
        if (since && *since <= latest && (longest == nullptr || *since < *longest->idleSince()))
            longest = connection;
    }
    return longest;
}

} // namespace varlo::scpi
