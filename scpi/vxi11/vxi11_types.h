#pragma once

#include "scpi/vxi11/xdr.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace varlo::vxi11 {

// The instrument's channels: the core channel takes the link's calls, the abort channel,
// on a port of its own, ends a link's call that waits.
inline constexpr std::uint32_t CoreProgram = 0x0607AF;
inline constexpr std::uint32_t AbortProgram = 0x0607B0;
inline constexpr std::uint32_t Vxi11Version = 1;

namespace procedure {
inline constexpr std::uint32_t CreateLink = 10;
inline constexpr std::uint32_t DeviceWrite = 11;
inline constexpr std::uint32_t DeviceRead = 12;
inline constexpr std::uint32_t DeviceReadStb = 13;
inline constexpr std::uint32_t DeviceTrigger = 14;
inline constexpr std::uint32_t DeviceClear = 15;
inline constexpr std::uint32_t DeviceRemote = 16;
inline constexpr std::uint32_t DeviceLocal = 17;
inline constexpr std::uint32_t DeviceLock = 18;
inline constexpr std::uint32_t DeviceUnlock = 19;
inline constexpr std::uint32_t DeviceEnableSrq = 20;
inline constexpr std::uint32_t DeviceDocmd = 22;
inline constexpr std::uint32_t DestroyLink = 23;
inline constexpr std::uint32_t CreateIntrChan = 25;
inline constexpr std::uint32_t DestroyIntrChan = 26;
inline constexpr std::uint32_t DeviceAbort = 1; // on the abort channel
} // namespace procedure

// The largest device_write create_link offers. pyvisa-py 0.5.1, which the lab uses, splits a
// message right only at 1024: with more it sends one block without END, with less it sets END
// on a block before the last.
inline constexpr std::uint32_t MaxRecvSize = 1024;
// The data one device_write or device_docmd may carry: as long as the longest line the
// program reads, so that a client that sends a whole message in one write, past MaxRecvSize,
// is still read. The message a link holds until END has the same bound, where it is joined.
inline constexpr std::size_t MaxWriteDataBytes = 4096;

// The flags of a call, and the reasons a read ends.
namespace flag {
inline constexpr std::uint32_t WaitLock = 1;
inline constexpr std::uint32_t End = 8;
inline constexpr std::uint32_t TermCharSet = 128;
} // namespace flag
namespace reason {
inline constexpr std::int32_t RequestCount = 1;
inline constexpr std::int32_t Character = 2;
inline constexpr std::int32_t End = 4;
} // namespace reason

enum class ErrorCode : std::int32_t {
    NoError = 0,
    SyntaxError = 1,
    DeviceNotAccessible = 3,
    InvalidLinkIdentifier = 4,
    ParameterError = 5,
    ChannelNotEstablished = 6,
    OperationNotSupported = 8,
    OutOfResources = 9,
    DeviceLockedByAnotherLink = 11,
    NoLockHeldByThisLink = 12,
    IoTimeout = 15,
    IoError = 17,
    InvalidAddress = 21,
    Abort = 23,
    ChannelAlreadyEstablished = 29,
};

// The arguments of the procedures. Each reads itself from a call and writes itself as a
// client would; a field the protocol restricts (a bool, a short, an enum) out of its range
// makes the arguments unreadable. A link id is the number create_link gave.

struct CreateLinkParms {
    std::int32_t clientId = 0;
    bool lockDevice = false;
    std::uint32_t lockTimeoutMs = 0;
    std::string device;
    static CreateLinkParms read(XdrReader& in);
    void write(XdrWriter& out) const;
    friend bool operator==(const CreateLinkParms&, const CreateLinkParms&) = default;
};

struct DeviceWriteParms {
    std::uint32_t link = 0;
    std::uint32_t ioTimeoutMs = 0;
    std::uint32_t lockTimeoutMs = 0;
    std::uint32_t flags = 0;
    std::string data; // at most MaxWriteDataBytes
    static DeviceWriteParms read(XdrReader& in);
    void write(XdrWriter& out) const;
    friend bool operator==(const DeviceWriteParms&, const DeviceWriteParms&) = default;
};

struct DeviceReadParms {
    std::uint32_t link = 0;
    std::uint32_t requestSize = 0;
    std::uint32_t ioTimeoutMs = 0;
    std::uint32_t lockTimeoutMs = 0;
    std::uint32_t flags = 0;
    char termChar = 0; // sent as a whole word; its low byte counts
    static DeviceReadParms read(XdrReader& in);
    void write(XdrWriter& out) const;
    friend bool operator==(const DeviceReadParms&, const DeviceReadParms&) = default;
};

// device_readstb, device_trigger, device_clear, device_remote and device_local.
struct DeviceGenericParms {
    std::uint32_t link = 0;
    std::uint32_t flags = 0;
    std::uint32_t lockTimeoutMs = 0;
    std::uint32_t ioTimeoutMs = 0;
    static DeviceGenericParms read(XdrReader& in);
    void write(XdrWriter& out) const;
    friend bool operator==(const DeviceGenericParms&, const DeviceGenericParms&) = default;
};

struct DeviceLockParms {
    std::uint32_t link = 0;
    std::uint32_t flags = 0;
    std::uint32_t lockTimeoutMs = 0;
    static DeviceLockParms read(XdrReader& in);
    void write(XdrWriter& out) const;
    friend bool operator==(const DeviceLockParms&, const DeviceLockParms&) = default;
};

// device_unlock, destroy_link and, on the abort channel, device_abort.
struct DeviceLink {
    std::uint32_t link = 0;
    static DeviceLink read(XdrReader& in);
    void write(XdrWriter& out) const;
    friend bool operator==(const DeviceLink&, const DeviceLink&) = default;
};

struct DeviceEnableSrqParms {
    static constexpr std::size_t MaxHandleBytes = 40;
    std::uint32_t link = 0;
    bool enable = false;
    std::string handle;
    static DeviceEnableSrqParms read(XdrReader& in);
    void write(XdrWriter& out) const;
    friend bool operator==(const DeviceEnableSrqParms&, const DeviceEnableSrqParms&) = default;
};

struct DeviceDocmdParms {
    std::uint32_t link = 0;
    std::uint32_t flags = 0;
    std::uint32_t ioTimeoutMs = 0;
    std::uint32_t lockTimeoutMs = 0;
    std::int32_t command = 0;
    bool networkOrder = false;
    std::int32_t dataSize = 0;
    std::string dataIn; // at most MaxWriteDataBytes
    static DeviceDocmdParms read(XdrReader& in);
    void write(XdrWriter& out) const;
    friend bool operator==(const DeviceDocmdParms&, const DeviceDocmdParms&) = default;
};

// create_intr_chan: where the client listens for service requests.
struct DeviceRemoteFunc {
    enum class Family : std::uint32_t { Tcp = 0, Udp = 1 };
    std::uint32_t hostAddress = 0;
    std::uint16_t hostPort = 0;
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    Family family = Family::Tcp;
    static DeviceRemoteFunc read(XdrReader& in);
    void write(XdrWriter& out) const;
    friend bool operator==(const DeviceRemoteFunc&, const DeviceRemoteFunc&) = default;
};

// The results, written as the server answers.

// The answer of every procedure that answers with no more than an error.
struct DeviceError {
    ErrorCode error = ErrorCode::NoError;
    void write(XdrWriter& out) const;
};

struct CreateLinkResp {
    ErrorCode error = ErrorCode::NoError;
    std::uint32_t link = 0;
    std::uint16_t abortPort = 0;
    std::uint32_t maxRecvSize = MaxRecvSize;
    void write(XdrWriter& out) const;
};

struct DeviceWriteResp {
    ErrorCode error = ErrorCode::NoError;
    std::uint32_t size = 0; // the bytes of the data taken
    void write(XdrWriter& out) const;
};

struct DeviceReadResp {
    ErrorCode error = ErrorCode::NoError;
    std::int32_t reason = 0; // the reason bits
    std::string data;
    void write(XdrWriter& out) const;
};

struct DeviceReadStbResp {
    ErrorCode error = ErrorCode::NoError;
    std::uint8_t statusByte = 0;
    void write(XdrWriter& out) const;
};

struct DeviceDocmdResp {
    ErrorCode error = ErrorCode::NoError;
    std::string dataOut;
    void write(XdrWriter& out) const;
};

} // namespace varlo::vxi11
