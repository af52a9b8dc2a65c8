#pragma once

#include <cstdint>
#include <string>

namespace varlo {

// Title of the box that reports a communication error.
inline constexpr const char* CommErrorTitle = "! RS-232 ERROR !";

// The wording of a communication error code: the open errors by exact value, else the
// last set error flag, else "Unlist error :" with the code in decimal and hex.
std::string commErrorText(std::int16_t code);

// Codes used to report failures of our own port operations.
namespace comm_code {
inline constexpr std::int16_t None = 0;
inline constexpr std::int16_t InvalidId = -1;     // no such port number
inline constexpr std::int16_t AlreadyOpen = -2;   // port busy
inline constexpr std::int16_t NotOpen = -3;       // port not open
inline constexpr std::int16_t BadParameters = -5; // settings text not applicable
inline constexpr std::int16_t HardwareGone = -10; // device missing or unplugged
inline constexpr std::int16_t ByteSize = -11;
inline constexpr std::int16_t BaudRate = -12;
inline constexpr std::int16_t TxFull = 0x0100; // write did not complete in time
} // namespace comm_code

} // namespace varlo
