#pragma once

#include "scpi/vxi11/xdr.h"

#include <cstdint>

namespace varlo::vxi11 {

// Version 2 of the portmapper, as VISA tools ask it where the core channel listens, by UDP
// or by TCP on port 111. Only NULL and GETPORT are read: the rest is the system's rpcbind's.
inline constexpr std::uint32_t PortmapperProgram = 100000;
inline constexpr std::uint32_t PortmapperVersion = 2;
inline constexpr std::uint16_t PortmapperPort = 111;

namespace procedure {
inline constexpr std::uint32_t PortmapperNull = 0;
inline constexpr std::uint32_t PortmapperGetPort = 3;
} // namespace procedure

// GETPORT's question: the port of a program's version over a protocol. Its own port field
// means nothing in a question.
struct Mapping {
    static constexpr std::uint32_t Tcp = 6;
    static constexpr std::uint32_t Udp = 17;
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    std::uint32_t protocol = 0;
    std::uint32_t port = 0;
    static Mapping read(XdrReader& in);
    void write(XdrWriter& out) const;
    friend bool operator==(const Mapping&, const Mapping&) = default;
};

// GETPORT's answer: 0 when the program is not registered.
struct Port {
    std::uint32_t port = 0;
    void write(XdrWriter& out) const;
};

} // namespace varlo::vxi11
