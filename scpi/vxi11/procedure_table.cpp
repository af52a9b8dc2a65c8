#include "scpi/vxi11/procedure_table.h"

#include "scpi/vxi11/record_marking.h"

#include <algorithm>
#include <utility>

namespace varlo::vxi11 {

namespace {

// A call's head with the largest credential and verifier, and device_write's fixed fields.
constexpr std::size_t MaxCallHeadBytes = 6 * 4 + 2 * (8 + MaxAuthBodyBytes);
constexpr std::size_t DeviceWriteFieldBytes = 5 * 4;
static_assert(MaxCallHeadBytes + DeviceWriteFieldBytes + MaxWriteDataBytes <= MaxRecordBytes,
              "the longest device_write must fit in a record");

template <class T> std::optional<Arguments> decodeAs(ByteView bytes)
{
    XdrReader in(bytes);
    T value = T::read(in);
    if (!in.ok())
        return std::nullopt;
    return Arguments{std::move(value)};
}

template <class T> std::optional<Bytes> encodeAs(const Result& result)
{
    const T* value = std::get_if<T>(&result);
    if (value == nullptr)
        return std::nullopt;
    XdrWriter out;
    value->write(out);
    return out.take();
}

constexpr Procedure CoreProcedures[] = {
    {procedure::CreateLink, "create_link", decodeAs<CreateLinkParms>, encodeAs<CreateLinkResp>},
    {procedure::DeviceWrite, "device_write", decodeAs<DeviceWriteParms>, encodeAs<DeviceWriteResp>},
    {procedure::DeviceRead, "device_read", decodeAs<DeviceReadParms>, encodeAs<DeviceReadResp>},
    {procedure::DeviceReadStb, "device_readstb", decodeAs<DeviceGenericParms>,
     encodeAs<DeviceReadStbResp>},
    {procedure::DeviceTrigger, "device_trigger", decodeAs<DeviceGenericParms>,
     encodeAs<DeviceError>},
    {procedure::DeviceClear, "device_clear", decodeAs<DeviceGenericParms>, encodeAs<DeviceError>},
    {procedure::DeviceRemote, "device_remote", decodeAs<DeviceGenericParms>, encodeAs<DeviceError>},
    {procedure::DeviceLocal, "device_local", decodeAs<DeviceGenericParms>, encodeAs<DeviceError>},
    {procedure::DeviceLock, "device_lock", decodeAs<DeviceLockParms>, encodeAs<DeviceError>},
    {procedure::DeviceUnlock, "device_unlock", decodeAs<DeviceLink>, encodeAs<DeviceError>},
    {procedure::DeviceEnableSrq, "device_enable_srq", decodeAs<DeviceEnableSrqParms>,
     encodeAs<DeviceError>},
    {procedure::DeviceDocmd, "device_docmd", decodeAs<DeviceDocmdParms>, encodeAs<DeviceDocmdResp>},
    {procedure::DestroyLink, "destroy_link", decodeAs<DeviceLink>, encodeAs<DeviceError>},
    {procedure::CreateIntrChan, "create_intr_chan", decodeAs<DeviceRemoteFunc>,
     encodeAs<DeviceError>},
    {procedure::DestroyIntrChan, "destroy_intr_chan", decodeAs<Void>, encodeAs<DeviceError>},
};

constexpr Procedure AbortProcedures[] = {
    {procedure::DeviceAbort, "device_abort", decodeAs<DeviceLink>, encodeAs<DeviceError>},
};

constexpr Procedure PortmapperProcedures[] = {
    {procedure::PortmapperNull, "null", decodeAs<Void>, encodeAs<Void>},
    {procedure::PortmapperGetPort, "getport", decodeAs<Mapping>, encodeAs<Port>},
};

} // namespace

const Procedure* Program::find(std::uint32_t procedure) const
{
    const auto found = std::ranges::find(procedures, procedure, &Procedure::number);
    return found == procedures.end() ? nullptr : &*found;
}

const Program& coreChannel()
{
    static constexpr Program program{CoreProgram, Vxi11Version, CoreProcedures};
    return program;
}

const Program& abortChannel()
{
    static constexpr Program program{AbortProgram, Vxi11Version, AbortProcedures};
    return program;
}

const Program& portmapper()
{
    static constexpr Program program{PortmapperProgram, PortmapperVersion, PortmapperProcedures};
    return program;
}

std::variant<Call, Refusal> decodeCall(ByteView record, const Program& program)
{
    const auto read = readCallHeader(record);
    if (const auto* refusal = std::get_if<Refusal>(&read))
        return *refusal;
    const CallHeader& header = std::get<CallHeader>(read);
    using Kind = Refusal::Kind;
    if (header.program != program.number)
        return Refusal{Kind::ProgramUnavailable, header.xid};
    if (header.version != program.version)
        return Refusal{Kind::ProgramMismatch, header.xid, program.version, program.version};
    const Procedure* procedure = program.find(header.procedure);
    if (procedure == nullptr)
        return Refusal{Kind::ProcedureUnavailable, header.xid};
    auto arguments = procedure->decode(header.arguments);
    if (!arguments)
        return Refusal{Kind::GarbageArguments, header.xid};
    return Call{header.xid, header.procedure, std::move(*arguments)};
}

Bytes replyTo(const Program& program, const Call& call, const Result& result)
{
    const Procedure* procedure = program.find(call.procedure);
    const auto results = procedure ? procedure->encode(result) : std::nullopt;
    if (!results)
        return *refusalReply({Refusal::Kind::SystemError, call.xid});
    return successReply(call.xid, *results);
}

Bytes encodeArguments(const Arguments& arguments)
{
    XdrWriter out;
    std::visit([&out](const auto& value) { value.write(out); }, arguments);
    return out.take();
}

} // namespace varlo::vxi11
