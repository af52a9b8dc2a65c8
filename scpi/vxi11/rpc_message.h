#pragma once

#include "scpi/vxi11/xdr.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>

namespace varlo::vxi11 {

inline constexpr std::uint32_t RpcVersion = 2;
// The protocol's own bound on a credential's or a verifier's body.
inline constexpr std::size_t MaxAuthBodyBytes = 400;

// The head of a call, as read before its procedure is known. Its credential and verifier
// are read and skipped: the program serves everyone who may reach its port.
struct CallHeader {
    std::uint32_t xid = 0;
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    std::uint32_t procedure = 0;
    ByteView arguments;
};

// A call that is not served, and the reply that fits it.
struct Refusal {
    enum class Kind {
        Drop,        // its head cannot be read or it is no call: no reply, a stream closes
        RpcMismatch, // denied: another version of the RPC protocol itself
        ProgramUnavailable,
        ProgramMismatch, // with the versions served, low to high
        ProcedureUnavailable,
        GarbageArguments,
        SystemError, // not from a call: the server could not encode its result
    };
    Kind kind = Kind::Drop;
    std::uint32_t xid = 0;
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    friend bool operator==(const Refusal&, const Refusal&) = default;
};

// Reads a call's head: a refusal of kind Drop or RpcMismatch when it is no call of version 2
// with credentials in bounds.
std::variant<CallHeader, Refusal> readCallHeader(ByteView record);

// The replies: accepted with the verifier AUTH_NONE, and denied for RPC_MISMATCH.
Bytes successReply(std::uint32_t xid, ByteView results);
// Nothing for a refusal of kind Drop.
std::optional<Bytes> refusalReply(const Refusal& refusal);

// A call with AUTH_NONE credentials, as a client sends it.
Bytes callMessage(const CallHeader& header);

} // namespace varlo::vxi11
