#include "scpi/portmapper/portmapper.h"

#include "scpi/network/listening.h"
#include "scpi/vxi11/portmap_types.h"

#include <cstdio>

namespace varlo::scpi {

Portmapper::Portmapper(PortmapperMode mode, const QHostAddress& address, CoreChannelPorts ports)
    : mode_(mode), address_(address), ports_(std::move(ports))
{
}

// The mapping goes with the registration, also when a signal ended the program.
Portmapper::~Portmapper() = default;

bool Portmapper::start()
{
    if (mode_ == PortmapperMode::Off)
        return true;
    std::string rpcbindWhy;
    if (mode_ != PortmapperMode::Own) {
        rpcbindWhy = useRpcbind();
        if (rpcbindWhy.empty())
            return true;
        if (mode_ == PortmapperMode::System) {
            std::fprintf(stderr, "varlo-scpi: cannot register with rpcbind: %s\n",
                         rpcbindWhy.c_str());
            return false;
        }
    }
    const QString ownWhy = useOwn();
    if (ownWhy.isEmpty())
        return true;
    const QString where = hostPortText(address_, vxi11::PortmapperPort);
    if (mode_ == PortmapperMode::Own) {
        std::fprintf(stderr, "varlo-scpi: cannot answer as the portmapper on %s: %s\n",
                     qPrintable(where), qPrintable(ownWhy));
        return false;
    }
    std::fprintf(stderr,
                 "varlo-scpi: VISA tools will not find the generator: %s, and the portmapper "
                 "port %s cannot be listened on: %s (install rpcbind, or let varlo-scpi bind "
                 "port 111: run it as root or grant it CAP_NET_BIND_SERVICE)\n",
                 rpcbindWhy.c_str(), qPrintable(where), qPrintable(ownWhy));
    return true;
}

std::string Portmapper::useRpcbind()
{
    bool ipv4 = false;
    const quint32 address = address_.toIPv4Address(&ipv4);
    auto registration = std::make_unique<RpcbindRegistration>(ipv4 ? address : 0);
    if (!registration->failure().empty())
        return registration->failure();
    const std::uint16_t port = ports_.advertised();
    if (std::string why = registration->registerPort(port); !why.empty())
        return why;
    rpcbind_ = std::move(registration);
    registeredPort_ = port;
    std::printf("registered with rpcbind: VXI-11 on port %u\n", unsigned{port});
    std::fflush(stdout);
    return {};
}

QString Portmapper::useOwn()
{
    auto own = std::make_unique<OwnPortmapper>(ports_.take);
    if (QString why = own->listen(address_); !why.isEmpty())
        return why;
    own_ = std::move(own);
    std::printf("portmapper on %s\n", qPrintable(own_->listeningOn()));
    std::fflush(stdout);
    return {};
}

void Portmapper::linkEnded()
{
    if (!rpcbind_)
        return;
    ports_.take();
    const std::uint16_t port = ports_.advertised();
    if (port == registeredPort_)
        return;
    if (const std::string why = rpcbind_->movePort(port); !why.empty()) {
        if (!moveFailing_)
            std::fprintf(stderr, "varlo-scpi: cannot move the VXI-11 registration to port %u: %s\n",
                         unsigned{port}, why.c_str());
        moveFailing_ = true;
        return;
    }
    if (moveFailing_)
        std::fprintf(stderr, "varlo-scpi: the VXI-11 registration with rpcbind moves again\n");
    moveFailing_ = false;
    registeredPort_ = port;
}

} // namespace varlo::scpi
