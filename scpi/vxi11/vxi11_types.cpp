#include "scpi/vxi11/vxi11_types.h"

#include "scpi/vxi11/record_marking.h"

namespace varlo::vxi11 {

namespace {

// An unsigned short travels as a whole word.
std::uint16_t readShort(XdrReader& in)
{
    const std::uint32_t word = in.u32();
    if (word > 0xFFFF)
        in.refuse();
    return static_cast<std::uint16_t>(word);
}

void writeError(XdrWriter& out, ErrorCode error)
{
    out.i32(static_cast<std::int32_t>(error));
}

} // namespace

CreateLinkParms CreateLinkParms::read(XdrReader& in)
{
    CreateLinkParms parms;
    parms.clientId = in.i32();
    parms.lockDevice = in.boolean();
    parms.lockTimeoutMs = in.u32();
    // Any name is read, to be answered "device not accessible" if it is not ours.
    parms.device = in.string(MaxRecordBytes);
    return parms;
}

void CreateLinkParms::write(XdrWriter& out) const
{
    out.i32(clientId);
    out.boolean(lockDevice);
    out.u32(lockTimeoutMs);
    out.string(device);
}

DeviceWriteParms DeviceWriteParms::read(XdrReader& in)
{
    DeviceWriteParms parms;
    parms.link = in.u32();
    parms.ioTimeoutMs = in.u32();
    parms.lockTimeoutMs = in.u32();
    parms.flags = in.u32();
    parms.data = in.opaque(MaxWriteDataBytes);
    return parms;
}

void DeviceWriteParms::write(XdrWriter& out) const
{
    out.u32(link);
    out.u32(ioTimeoutMs);
    out.u32(lockTimeoutMs);
    out.u32(flags);
    out.opaque(data);
}

DeviceReadParms DeviceReadParms::read(XdrReader& in)
{
    DeviceReadParms parms;
    parms.link = in.u32();
    parms.requestSize = in.u32();
    parms.ioTimeoutMs = in.u32();
    parms.lockTimeoutMs = in.u32();
    parms.flags = in.u32();
    parms.termChar = static_cast<char>(in.u32() & 0xFF);
    return parms;
}

void DeviceReadParms::write(XdrWriter& out) const
{
    out.u32(link);
    out.u32(requestSize);
    out.u32(ioTimeoutMs);
    out.u32(lockTimeoutMs);
    out.u32(flags);
    out.i32(termChar);
}

DeviceGenericParms DeviceGenericParms::read(XdrReader& in)
{
    DeviceGenericParms parms;
    parms.link = in.u32();
    parms.flags = in.u32();
    parms.lockTimeoutMs = in.u32();
    parms.ioTimeoutMs = in.u32();
    return parms;
}

void DeviceGenericParms::write(XdrWriter& out) const
{
    out.u32(link);
    out.u32(flags);
    out.u32(lockTimeoutMs);
    out.u32(ioTimeoutMs);
}

DeviceLockParms DeviceLockParms::read(XdrReader& in)
{
    DeviceLockParms parms;
    parms.link = in.u32();
    parms.flags = in.u32();
    parms.lockTimeoutMs = in.u32();
    return parms;
}

void DeviceLockParms::write(XdrWriter& out) const
{
    out.u32(link);
    out.u32(flags);
    out.u32(lockTimeoutMs);
}

DeviceLink DeviceLink::read(XdrReader& in)
{
    return {in.u32()};
}

void DeviceLink::write(XdrWriter& out) const
{
    out.u32(link);
}

DeviceEnableSrqParms DeviceEnableSrqParms::read(XdrReader& in)
{
    DeviceEnableSrqParms parms;
    parms.link = in.u32();
    parms.enable = in.boolean();
    parms.handle = in.opaque(MaxHandleBytes);
    return parms;
}

void DeviceEnableSrqParms::write(XdrWriter& out) const
{
    out.u32(link);
    out.boolean(enable);
    out.opaque(handle);
}

DeviceDocmdParms DeviceDocmdParms::read(XdrReader& in)
{
    DeviceDocmdParms parms;
    parms.link = in.u32();
    parms.flags = in.u32();
    parms.ioTimeoutMs = in.u32();
    parms.lockTimeoutMs = in.u32();
    parms.command = in.i32();
    parms.networkOrder = in.boolean();
    parms.dataSize = in.i32();
    parms.dataIn = in.opaque(MaxWriteDataBytes);
    return parms;
}

void DeviceDocmdParms::write(XdrWriter& out) const
{
    out.u32(link);
    out.u32(flags);
    out.u32(ioTimeoutMs);
    out.u32(lockTimeoutMs);
    out.i32(command);
    out.boolean(networkOrder);
    out.i32(dataSize);
    out.opaque(dataIn);
}

DeviceRemoteFunc DeviceRemoteFunc::read(XdrReader& in)
{
    DeviceRemoteFunc parms;
    parms.hostAddress = in.u32();
    parms.hostPort = readShort(in);
    parms.program = in.u32();
    parms.version = in.u32();
    const std::uint32_t family = in.u32();
    if (family > static_cast<std::uint32_t>(Family::Udp))
        in.refuse();
    parms.family = static_cast<Family>(family);
    return parms;
}

void DeviceRemoteFunc::write(XdrWriter& out) const
{
    out.u32(hostAddress);
    out.u32(hostPort);
    out.u32(program);
    out.u32(version);
    out.u32(static_cast<std::uint32_t>(family));
}

void DeviceError::write(XdrWriter& out) const
{
    writeError(out, error);
}

void CreateLinkResp::write(XdrWriter& out) const
{
    writeError(out, error);
    out.u32(link);
    out.u32(abortPort);
    out.u32(maxRecvSize);
}

void DeviceWriteResp::write(XdrWriter& out) const
{
    writeError(out, error);
    out.u32(size);
}

void DeviceReadResp::write(XdrWriter& out) const
{
    writeError(out, error);
    out.i32(reason);
    out.opaque(data);
}

void DeviceReadStbResp::write(XdrWriter& out) const
{
    writeError(out, error);
    out.u32(statusByte);
}

void DeviceDocmdResp::write(XdrWriter& out) const
{
    writeError(out, error);
    out.opaque(dataOut);
}

} // namespace varlo::vxi11
