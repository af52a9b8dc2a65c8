#include "scpi/portmapper/rpcbind_registration.h"

#include "scpi/vxi11/vxi11_types.h"

#include <rpc/rpc.h>
#include <rpc/rpcb_prot.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace varlo::scpi {

namespace {

constexpr char NetId[] = "tcp";
constexpr char Owner[] = "varlo-scpi";

// NULL's arguments and result: none. xdr_void's own type is not the library's xdrproc_t.
bool_t xdrNothing(XDR*, ...)
{
    return TRUE;
}

timeval waitOf(int ms)
{
    return {ms / 1000, (ms % 1000) * 1000};
}

// rpcbind's text for an address and port: "127.0.0.1.156.64" for port 40000.
std::string universalAddress(std::uint32_t address, std::uint16_t port)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += std::to_string((address >> shift) & 0xFF) + ".";
    return text + std::to_string(port >> 8) + "." + std::to_string(port & 0xFF);
}

std::string rpcbindSocketText()
{
    return std::string("rpcbind answers at ") + _PATH_RPCBINDSOCK;
}

} // namespace

RpcbindRegistration::RpcbindRegistration(std::uint32_t ipv4Address) : address_(ipv4Address)
{
    failure_ = connect();
}

RpcbindRegistration::~RpcbindRegistration()
{
    if (registered_ && !sendUnset(CallTimeoutMs) && reconnected())
        sendUnset(CallTimeoutMs);
    disconnect();
}

std::string RpcbindRegistration::connect()
{
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket < 0)
        return std::string("no socket for rpcbind: ") + std::strerror(errno);
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    std::strncpy(where.sun_path, _PATH_RPCBINDSOCK, sizeof where.sun_path - 1);
    // Not blocking: a socket whose backlog is full answers EAGAIN instead of holding the
    // program up.
    if (::connect(socket, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
        const int error = errno;
        ::close(socket);
        return "no " + rpcbindSocketText() + " (" + std::strerror(error) + ")";
    }
    // The library's calls wait for their replies with their own timeout.
    ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) & ~O_NONBLOCK);
    netbuf address{sizeof where, sizeof where, &where};
    client_ = clnt_vc_create(socket, &address, RPCBPROG, RPCBVERS, 0, 0);
    if (client_ == nullptr) {
        ::close(socket);
        return "no " + rpcbindSocketText() + " (" + clnt_spcreateerror("") + ")";
    }
    clnt_control(client_, CLSET_FD_CLOSE, nullptr);
    const clnt_stat status = clnt_call(client_, NULLPROC, xdrNothing, nullptr, xdrNothing, nullptr,
                                       waitOf(CallTimeoutMs));
    if (status != RPC_SUCCESS) {
        disconnect();
        return "no " + rpcbindSocketText() + " (" + clnt_sperrno(status) + ")";
    }
    return {};
}

void RpcbindRegistration::disconnect()
{
    if (client_ != nullptr)
        clnt_destroy(client_);
    client_ = nullptr;
}

// An empty netid takes the program off every transport.
bool RpcbindRegistration::sendUnset(int timeoutMs)
{
    if (client_ == nullptr)
        return false;
    char noNetId[] = "";
    char noAddress[] = "";
    char owner[sizeof Owner];
    std::memcpy(owner, Owner, sizeof Owner);
    RPCB map{vxi11::CoreProgram, vxi11::Vxi11Version, noNetId, noAddress, owner};
    bool_t done = FALSE;
    const clnt_stat status =
        clnt_call(client_, RPCBPROC_UNSET, reinterpret_cast<xdrproc_t>(xdr_rpcb),
                  reinterpret_cast<char*>(&map), reinterpret_cast<xdrproc_t>(xdr_bool),
                  reinterpret_cast<char*>(&done), waitOf(timeoutMs));
    // With no time to wait, the call is only sent: the library skips its reply later.
    return timeoutMs == 0 ? status == RPC_TIMEDOUT : status == RPC_SUCCESS;
}

std::string RpcbindRegistration::sendSet(std::uint16_t port)
{
    if (client_ == nullptr)
        return "no connection to rpcbind";
    char netId[sizeof NetId];
    std::memcpy(netId, NetId, sizeof NetId);
    std::string address = universalAddress(address_, port);
    char owner[sizeof Owner];
    std::memcpy(owner, Owner, sizeof Owner);
    RPCB map{vxi11::CoreProgram, vxi11::Vxi11Version, netId, address.data(), owner};
    bool_t done = FALSE;
    const clnt_stat status =
        clnt_call(client_, RPCBPROC_SET, reinterpret_cast<xdrproc_t>(xdr_rpcb),
                  reinterpret_cast<char*>(&map), reinterpret_cast<xdrproc_t>(xdr_bool),
                  reinterpret_cast<char*>(&done), waitOf(CallTimeoutMs));
    if (status != RPC_SUCCESS)
        return std::string("rpcbind did not answer (") + clnt_sperrno(status) + ")";
    registered_ = done != FALSE;
    // rpcbind lets only the user who made a mapping, or root, take it away.
    return registered_ ? std::string()
                       : "rpcbind keeps another user's mapping of the VXI-11 core program";
}

std::string RpcbindRegistration::registerPort(std::uint16_t port)
{
    sendUnset(CallTimeoutMs);
    return sendSet(port);
}

std::string RpcbindRegistration::movePort(std::uint16_t port)
{
    bool sent = sendUnset(0);
    if (!sent && reconnected())
        sent = sendUnset(0);
    if (!sent)
        return failure_.empty() ? std::string("rpcbind's connection was lost") : failure_;
    return sendSet(port);
}

// rpcbind closes a connection that has been idle for long; a write to it fails at once.
bool RpcbindRegistration::reconnected()
{
    disconnect();
    failure_ = connect();
    return failure_.empty();
}

} // namespace varlo::scpi
