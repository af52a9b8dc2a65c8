#pragma once

#include "scpi/vxi11/portmap_types.h"
#include "scpi/vxi11/rpc_message.h"
#include "scpi/vxi11/vxi11_types.h"
#include "scpi/vxi11/xdr.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <variant>

namespace varlo::vxi11 {

// The arguments of a procedure that takes none, and the result of one that answers none.
struct Void {
    static Void read(XdrReader&) { return {}; }
    void write(XdrWriter&) const {}
    friend bool operator==(const Void&, const Void&) = default;
};

// What the procedures of the channels take and answer.
using Arguments = std::variant<Void, CreateLinkParms, DeviceWriteParms, DeviceReadParms,
                               DeviceGenericParms, DeviceLockParms, DeviceLink,
                               DeviceEnableSrqParms, DeviceDocmdParms, DeviceRemoteFunc, Mapping>;
using Result = std::variant<Void, DeviceError, CreateLinkResp, DeviceWriteResp, DeviceReadResp,
                            DeviceReadStbResp, DeviceDocmdResp, Port>;

// One procedure: how its arguments are read, and how its result is written. encode gives
// nothing for a result of another kind than the procedure answers with.
struct Procedure {
    std::uint32_t number = 0;
    std::string_view name;
    std::optional<Arguments> (*decode)(ByteView arguments) = nullptr;
    std::optional<Bytes> (*encode)(const Result& result) = nullptr;
};

// A program served on a port: its number, its one version and its procedures.
struct Program {
    std::uint32_t number = 0;
    std::uint32_t version = 0;
    std::span<const Procedure> procedures;
    const Procedure* find(std::uint32_t procedure) const;
};

// The VXI-11 core and abort channels and the portmapper.
const Program& coreChannel();
const Program& abortChannel();
const Program& portmapper();

// A call to be answered, with the transaction id its reply carries.
struct Call {
    std::uint32_t xid = 0;
    std::uint32_t procedure = 0;
    Arguments arguments;
};

// A record read as a call to the program, or refused with the reply that fits.
std::variant<Call, Refusal> decodeCall(ByteView record, const Program& program);
// The reply to a call with its result: SYSTEM_ERR when the result is not of the procedure's
// kind, which is the server's fault and not the client's.
Bytes replyTo(const Program& program, const Call& call, const Result& result);
// Arguments written as a client sends them.
Bytes encodeArguments(const Arguments& arguments);

} // namespace varlo::vxi11
