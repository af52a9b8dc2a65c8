#pragma once

#include "scpi/portmapper/own_portmapper.h"
#include "scpi/portmapper/portmapper_mode.h"
#include "scpi/portmapper/rpcbind_registration.h"

#include <QHostAddress>
#include <QObject>

#include <functional>
#include <memory>
#include <string>

namespace varlo::scpi {

// The ports of the VXI-11 core channel as the portmapper names them: the one to name now,
// and the one to name now with the ring moved on to the next, so that each new link of a
// scope that reconnects from one source port comes to another port.
struct CoreChannelPorts {
    std::function<std::uint16_t()> advertised;
    std::function<std::uint16_t()> take;
};

// Makes the core channel found in the way --portmapper chose: registered with rpcbind (moved
// on to the next port as each link ends), or answered by the own portmapper (each GETPORT
// taking the next port). Auto takes rpcbind when one answers, else the own portmapper when
// port 111 may be bound, else says in one line that VISA tools will not find the generator.
class Portmapper : public QObject {
public:
    Portmapper(PortmapperMode mode, const QHostAddress& address, CoreChannelPorts ports);
    ~Portmapper() override;

    // False when the one way asked for (own or system) cannot be had, said on stderr.
    bool start();
    // A link of the core channel has ended: under rpcbind the next port is registered.
    void linkEnded();

private:
    // Empty when registered, else why not.
    std::string useRpcbind();
    // Empty when answering, else why not.
    QString useOwn();

    PortmapperMode mode_;
    QHostAddress address_;
    CoreChannelPorts ports_;
    std::unique_ptr<RpcbindRegistration> rpcbind_;
    std::uint16_t registeredPort_ = 0;
    bool moveFailing_ = false; // said once until a move succeeds again
    std::unique_ptr<OwnPortmapper> own_;
};

} // namespace varlo::scpi
