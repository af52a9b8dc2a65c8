#pragma once

#include "scpi/generator/generator_link.h"
#include "scpi/instr/rpc_connection.h"
#include "scpi/instr/vxi11_link.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace varlo::scpi {
class DescriptorServer;
}

namespace varlo::scpi::instr {

// The VXI-11 instrument: the core channel on a small set of ports and the abort channel on
// one of its own, each connection read as RpcConnection reads it, each link one client of the
// generator's owner. The core channel answers alike on every port of its set; a portmapper
// names them in turn (advertisedPort, takeAdvertisedPort), so that a client that reconnects
// from the same source port after each link, as oscilloscopes do, never meets the address
// pair it just closed, which may still be in TIME_WAIT at its end. At most `maxClients`
// links at once: one more takes the place of the link idle longest, if that one has been
// idle for the idle limit (its connection is closed), else create_link gets error 9; each is
// one line on standard error, as for the SCPI socket.
class Vxi11Server : public QObject {
    Q_OBJECT

public:
    // The core channel's ports: this many the system gives, or the port asked for and the
    // FixedPortsAfter after it, the abort channel then on the one after those.
    static constexpr int SystemPorts = 10;
    static constexpr int FixedPortsAfter = 3;
    // The longest destroy_link's reply waits for a hold (holdReply).
    static constexpr std::chrono::milliseconds LinkEndHoldLimit{250};

    Vxi11Server(GeneratorLink& generator, int maxClients, std::chrono::seconds idleLimit);
    ~Vxi11Server() override;

    // Listens on the address: with port 0 on ports the system gives, else on PORT to
    // PORT + FixedPortsAfter and the abort channel on the next. Empty when listening, else
    // why not, in the user's words, with the port.
    QString listen(const QHostAddress& address, quint16 port);
    const std::vector<std::uint16_t>& corePorts() const { return corePorts_; }
    std::uint16_t abortPort() const;
    // The ports as the user reads them: "127.0.0.1:5030-5033, abort 5034".
    QString listeningOn() const;

    // The core port the next GETPORT should name.
    std::uint16_t advertisedPort() const { return corePorts_.at(nextPort_); }
    // Names it, and moves the set on: the one after it is named next.
    std::uint16_t takeAdvertisedPort();
    // Inside a slot of linkEnded for a link ended by destroy_link: its reply waits until the
    // function returned is called, LinkEndHoldLimit at most, so that what a portmapper names
    // next is in place before the client hears that the link is gone. Elsewhere the function
    // does nothing.
    std::function<void()> holdReply();

    int linkCount() const { return static_cast<int>(links_.size()); }
    // Closes every connection, as the program ends.
    void closeConnections();

Q_SIGNALS:
    // A link ended: by destroy_link, or with its connection.
    void linkEnded();

private:
    struct Link {
        std::unique_ptr<Vxi11Link> link;
        RpcConnection* connection = nullptr;
    };
    using Answer = Vxi11Link::Answer;
    struct CoreProcedure {
        std::uint32_t number;
        void (Vxi11Server::*serve)(RpcConnection&, const vxi11::Call&, const Answer&);
    };
    static const CoreProcedure CoreProcedures[];

    void accept(int descriptor, const vxi11::Program& program);
    void serveCore(RpcConnection& connection, const vxi11::Call& call);
    void serveAbort(RpcConnection& connection, const vxi11::Call& call);
    void connectionFinished(RpcConnection* connection);
    Vxi11Link* linkOf(const RpcConnection& connection, std::uint32_t id) const;
    bool makeRoom(const RpcConnection& connection);
    void endLink(std::uint32_t id, std::function<void()> answered);

    void createLink(RpcConnection& connection, const vxi11::Call& call, const Answer& answer);
    void deviceWrite(RpcConnection& connection, const vxi11::Call& call, const Answer& answer);
    void deviceRead(RpcConnection& connection, const vxi11::Call& call, const Answer& answer);
    void deviceReadStb(RpcConnection& connection, const vxi11::Call& call, const Answer& answer);
    void deviceClear(RpcConnection& connection, const vxi11::Call& call, const Answer& answer);
    void deviceAccepted(RpcConnection& connection, const vxi11::Call& call, const Answer& answer);
    void deviceLock(RpcConnection& connection, const vxi11::Call& call, const Answer& answer);
    void deviceUnlock(RpcConnection& connection, const vxi11::Call& call, const Answer& answer);
    void destroyLink(RpcConnection& connection, const vxi11::Call& call, const Answer& answer);
    void notSupported(RpcConnection& connection, const vxi11::Call& call, const Answer& answer);

    GeneratorLink& generator_;
    int maxClients_;
    std::chrono::seconds idleLimit_;
    QHostAddress address_;
    std::vector<std::unique_ptr<DescriptorServer>> coreServers_;
    std::unique_ptr<DescriptorServer> abortServer_;
    std::vector<std::uint16_t> corePorts_;
    std::size_t nextPort_ = 0;
    std::vector<RpcConnection*> connections_;
    std::map<std::uint32_t, Link> links_;
    std::uint32_t lastLinkId_ = 0;
    // While linkEnded is emitted: the holds taken on destroy_link's reply.
    struct ReplyHold;
    std::shared_ptr<ReplyHold> holding_;
};

} // namespace varlo::scpi::instr
