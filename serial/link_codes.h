#pragma once

#include "serial/line_settings.h"
#include "serial/port_diagnosis.h"

#include <cstdint>

namespace varlo {

// What the serial link reports, worked out without Qt. Every failure of the link and the
// communication error code it is reported with, so that the wording the user reads fits what
// happened:
//
//   port number outside COM1..COM16, or a path that is no terminal   -1  IE_BADID
//   port held by another program (lock file, flock, exclusive open,  -2  IE_OPEN
//   open descriptor), blocked by a lock file, or not for this user
//   port opened again while open                                     -2  IE_OPEN
//   write or close on a port that is not open                        -3  IE_NOPEN
//   settings text that is not "baud parity bits stop"                -5  IE_DEFAULT
//   parity or stop bits the device refuses                           -5  IE_DEFAULT
//   device missing, a link loop, unplugged or hung up               -10  IE_HARDWARE
//   data bits the device refuses                                    -11  IE_BYTESIZE
//   baud rate the device refuses                                    -12  IE_BAUDRATE
//   write refused: a second of line time queued already, or the    0x0100 CE_TXFULL
//   line not ready for it within the write's deadline (nothing written)

// The failures the serial port itself reports, numbered as Qt's serial port numbers them
// (serial_link.cpp holds the two to the same numbers).
enum class PortError {
    NoError,
    DeviceNotFound,
    Permission,
    Open,
    Write,
    Read,
    Resource,
    UnsupportedOperation,
    Unknown,
    Timeout,
    NotOpen,
};

// The code of a failure the serial port reports.
std::int16_t codeForPortError(PortError error);
// The code of what the look before an open found.
std::int16_t codeForPortState(PortState state);

// Whether the terminal behind the descriptor holds these settings: 0, or the code of the
// first it does not hold. Some devices keep quiet about settings they cannot carry (a
// pseudo-terminal drops parity and keeps eight data bits), so what they hold is read back.
std::int16_t settingsHeldBy(int descriptor, const LineSettings& settings);

} // namespace varlo
