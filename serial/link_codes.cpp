#include "serial/link_codes.h"

#include "serial/comm_error_text.h"

#include <termios.h>

namespace varlo {

namespace {

struct PortErrorCode {
    PortError error;
    std::int16_t code;
};

constexpr PortErrorCode PortErrorCodes[] = {
    {PortError::NoError, comm_code::None},
    {PortError::DeviceNotFound, comm_code::HardwareGone},
    {PortError::Permission, comm_code::AlreadyOpen}, // locked or refused: in use
    {PortError::Open, comm_code::AlreadyOpen},
    {PortError::NotOpen, comm_code::NotOpen},
    {PortError::Resource, comm_code::HardwareGone}, // how an unplugged device shows
    {PortError::Write, comm_code::TxFull},          // the line would not take the bytes
    {PortError::Timeout, comm_code::TxFull},
    {PortError::Read, comm_code::HardwareGone},
    {PortError::UnsupportedOperation, comm_code::BadParameters},
    {PortError::Unknown, comm_code::HardwareGone},
};

struct PortStateCode {
    PortState state;
    std::int16_t code;
};

constexpr PortStateCode PortStateCodes[] = {
    {PortState::Free, comm_code::None},
    {PortState::Missing, comm_code::HardwareGone},
    {PortState::BrokenLink, comm_code::HardwareGone},
    {PortState::NotATerminal, comm_code::InvalidId},
    {PortState::PermissionDenied, comm_code::AlreadyOpen},
    {PortState::Busy, comm_code::AlreadyOpen},
    {PortState::MarkedExclusive, comm_code::AlreadyOpen},
    {PortState::NamelessLock, comm_code::AlreadyOpen},
    {PortState::StaleLock, comm_code::AlreadyOpen},
    {PortState::OpenFailed, comm_code::AlreadyOpen},
};

} // namespace

std::int16_t codeForPortError(PortError error)
{
    for (const auto& row : PortErrorCodes)
        if (row.error == error)
            return row.code;
    return comm_code::HardwareGone;
}

std::int16_t codeForPortState(PortState state)
{
    for (const auto& row : PortStateCodes)
        if (row.state == state)
            return row.code;
    return comm_code::HardwareGone;
}

std::int16_t settingsHeldBy(int descriptor, const LineSettings& settings)
{
    termios line{};
    if (::tcgetattr(descriptor, &line) != 0)
        return comm_code::HardwareGone;
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if ((line.c_cflag & CSIZE) != sizes[settings.dataBits - 5])
        return comm_code::ByteSize;
    const bool parity = settings.parity != LineSettings::Parity::None;
    if (((line.c_cflag & PARENB) != 0) != parity)
        return comm_code::BadParameters;
    const bool twoStopBits = settings.stopBits != LineSettings::StopBits::One;
    if (((line.c_cflag & CSTOPB) != 0) != twoStopBits)
        return comm_code::BadParameters;
    return comm_code::None;
}

} // namespace varlo
