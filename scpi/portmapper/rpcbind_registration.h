#pragma once

#include <cstdint>
#include <string>

struct __rpc_client;

namespace varlo::scpi {

// The core channel registered with the machine's rpcbind, through its local socket: there
// rpcbind takes SET and UNSET from any user and knows the user by the socket, where over IP
// it takes them only from a privileged port of loopback. Each call waits at most CallTimeoutMs
// for rpcbind, so that a hung rpcbind never holds up the program for long. The mapping goes
// when the registration does.
class RpcbindRegistration {
public:
    static constexpr int CallTimeoutMs = 1000;

    // Connects to rpcbind; failure() says why not. `ipv4Address` is the address the core
    // channel listens on (0 for every address), in host order.
    explicit RpcbindRegistration(std::uint32_t ipv4Address);
    ~RpcbindRegistration();
    RpcbindRegistration(const RpcbindRegistration&) = delete;
    RpcbindRegistration& operator=(const RpcbindRegistration&) = delete;

    // Empty once connected to an rpcbind that answers, else why not, in the user's words.
    const std::string& failure() const { return failure_; }

    // Removes every mapping of the core program, a killed instance's included, then maps it
    // to `port`. Empty when registered, else why not.
    std::string registerPort(std::uint16_t port);
    // Maps the core program to another port. rpcbind refuses a SET over a mapping, and a
    // GETPORT between UNSET and SET gets 0: the two are written back to back, the UNSET not
    // waiting for its reply, so that rpcbind reads them in one go. Empty when moved, else why
    // not.
    std::string movePort(std::uint16_t port);

private:
    std::string connect();
    void disconnect();
    bool reconnected();
    bool sendUnset(int timeoutMs);
    std::string sendSet(std::uint16_t port);

    std::uint32_t address_ = 0;
    __rpc_client* client_ = nullptr;
    bool registered_ = false;
    std::string failure_;
};

} // namespace varlo::scpi
