#include "scpi/vxi11/rpc_message.h"

namespace varlo::vxi11 {

namespace {

enum MessageType : std::uint32_t { Call = 0, Reply = 1 };
enum ReplyStatus : std::uint32_t { Accepted = 0, Denied = 1 };
enum AcceptStatus : std::uint32_t {
    Success = 0,
    ProgUnavail = 1,
    ProgMismatch = 2,
    ProcUnavail = 3,
    GarbageArgs = 4,
    SystemErr = 5,
};
enum RejectStatus : std::uint32_t { RpcMismatch = 0 };
constexpr std::uint32_t AuthNone = 0;

void acceptedHead(XdrWriter& out, std::uint32_t xid, AcceptStatus status)
{
    out.u32(xid);
    out.u32(Reply);
    out.u32(Accepted);
    out.u32(AuthNone);
    out.u32(0); // the verifier's empty body
    out.u32(status);
}

} // namespace

std::variant<CallHeader, Refusal> readCallHeader(ByteView record)
{
    XdrReader in(record);
    CallHeader header;
    header.xid = in.u32();
    const std::uint32_t type = in.u32();
    const std::uint32_t rpcVersion = in.u32();
    if (!in.ok() || type != Call)
        return Refusal{Refusal::Kind::Drop, header.xid};
    if (rpcVersion != RpcVersion)
        return Refusal{Refusal::Kind::RpcMismatch, header.xid, RpcVersion, RpcVersion};
    header.program = in.u32();
    header.version = in.u32();
    header.procedure = in.u32();
    for (int auth = 0; auth < 2; ++auth) { // the credential, then the verifier
        in.u32();                          // its flavour
        in.skipOpaque(MaxAuthBodyBytes);
    }
    if (!in.ok())
        return Refusal{Refusal::Kind::Drop, header.xid};
    header.arguments = in.rest();
    return header;
}

Bytes successReply(std::uint32_t xid, ByteView results)
{
    XdrWriter out;
    acceptedHead(out, xid, Success);
    out.raw(results);
    return out.take();
}

std::optional<Bytes> refusalReply(const Refusal& refusal)
{
    XdrWriter out;
    switch (refusal.kind) {
    case Refusal::Kind::Drop:
        return std::nullopt;
    case Refusal::Kind::RpcMismatch:
        out.u32(refusal.xid);
        out.u32(Reply);
        out.u32(Denied);
        out.u32(RpcMismatch);
        out.u32(refusal.low);
        out.u32(refusal.high);
        break;
    case Refusal::Kind::ProgramUnavailable:
        acceptedHead(out, refusal.xid, ProgUnavail);
        break;
    case Refusal::Kind::ProgramMismatch:
        acceptedHead(out, refusal.xid, ProgMismatch);
        out.u32(refusal.low);
        out.u32(refusal.high);
        break;
    case Refusal::Kind::ProcedureUnavailable:
        acceptedHead(out, refusal.xid, ProcUnavail);
        break;
    case Refusal::Kind::GarbageArguments:
        acceptedHead(out, refusal.xid, GarbageArgs);
        break;
    case Refusal::Kind::SystemError:
        acceptedHead(out, refusal.xid, SystemErr);
        break;
    }
    return out.take();
}

Bytes callMessage(const CallHeader& header)
{
    XdrWriter out;
    out.u32(header.xid);
    out.u32(Call);
    out.u32(RpcVersion);
    out.u32(header.program);
    out.u32(header.version);
    out.u32(header.procedure);
    for (int auth = 0; auth < 2; ++auth) { // the credential and the verifier, both empty
        out.u32(AuthNone);
        out.u32(0);
    }
    out.raw(header.arguments);
    return out.take();
}

} // namespace varlo::vxi11
