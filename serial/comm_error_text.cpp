#include "serial/comm_error_text.h"

#include <array>
#include <cstdio>
#include <utility>

namespace varlo {

namespace {

struct CodeText {
    std::int16_t code;
    const char* text;
};

// Open errors, matched by exact value.
constexpr std::array OpenErrors{
    CodeText{-1, "Invalid or Unsupported ID"},
    CodeText{-2, "Device already open"},
    CodeText{-3, "Device not Open"},
    CodeText{-4, "Unable to allocate queues"},
    CodeText{-5, "Error in default parameters"},
    CodeText{-10, "Hardware not present"},
    CodeText{-11, "Illegal byte size"},
    CodeText{-12, "Unsupported baudrate"},
};

struct FlagText {
    std::uint16_t bit;
    const char* text;
};

// Error flags, in the order they are tested: the last set one decides.
constexpr std::array ErrorFlags{
    FlagText{0x0001, "Receive queue overflow"},
    FlagText{0x0002, "Receive overrun error"},
    FlagText{0x0004, "Receive parity error"},
    FlagText{0x0008, "Receive framing error"},
    FlagText{0x0010, "Break detected"},
    FlagText{0x0020, "CTS timeout"},
    FlagText{0x0040, "DSR timeout"},
    FlagText{0x0080, "RLSD timeout"},
    FlagText{0x0100, "Tx queue is full"},
    FlagText{0x0200, "LPTx timeout"},
    FlagText{0x0400, "LPTx I/O error"},
    FlagText{0x0800, "LPTx device not selected"},
    FlagText{0x1000, "LPTx out of paper"},
    FlagText{0x8000, "Requested mode unsupported"},
};

} // namespace

std::string commErrorText(std::int16_t code)
{
    for (const auto& entry : OpenErrors)
        if (entry.code == code)
            return entry.text;

    // Decimal with a leading blank for non-negative codes, hex of the 16-bit pattern.
    const auto bits = static_cast<std::uint16_t>(code);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "Unlist error :%s%d (&H%X)", code < 0 ? "" : " ",
                  static_cast<int>(code), static_cast<unsigned>(bits));
    std::string message = buffer;
    for (const auto& flag : ErrorFlags)
        if (bits & flag.bit)
            message = flag.text;
    return message;
}

} // namespace varlo
