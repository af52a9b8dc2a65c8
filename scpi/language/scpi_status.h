#pragma once

#include "protocol/scpi_messages.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace varlo::scpi {

// An error a client reads back with SYSTem:ERRor?: SCPI's standard number and its text.
struct Error {
    int number = 0;
    std::string_view text;
    friend constexpr bool operator==(const Error&, const Error&) = default;
};

// Every error this program reports, each once: errors::OutOfRange is -222,"Data out of range".
namespace errors {
inline constexpr Error Syntax{-102, "Syntax error"};
inline constexpr Error DataType{-104, "Data type error"};
inline constexpr Error ParameterNotAllowed{-108, "Parameter not allowed"};
inline constexpr Error MissingParameter{-109, "Missing parameter"};
inline constexpr Error UndefinedHeader{-113, "Undefined header"};
inline constexpr Error HeaderSuffix{-114, "Header suffix out of range"};
inline constexpr Error InvalidSuffix{-131, "Invalid suffix"};
inline constexpr Error ExecutionError{-200, "Execution error"};
inline constexpr Error CommandProtected{CommandProtectedNumber, CommandProtectedText};
inline constexpr Error SettingsConflict{-221, "Settings conflict"};
inline constexpr Error OutOfRange{-222, "Data out of range"};
inline constexpr Error IllegalValue{-224, "Illegal parameter value"};
inline constexpr Error HardwareError{-240, "Hardware error"};
inline constexpr Error HardwareMissing{-241, "Hardware missing"};
inline constexpr Error QueueOverflow{-350, "Queue overflow"};
} // namespace errors

// An error with its cause in the program's own words, told after the standard text as SCPI's
// device-dependent part: "COM3 (/dev/ttyUSB0) is gone".
struct DetailedError {
    Error error;
    std::string detail;
};

// The entry as SYSTem:ERRor? answers it: -222,"Data out of range", or with a cause
// -241,"Hardware missing;COM3 (/dev/ttyUSB0) is gone". A quote in the cause is doubled, and
// the text between the quotes is cut to SCPI's 255 characters.
std::string errorEntry(const DetailedError& error);
inline constexpr const char* NoErrorEntry = "0,\"No error\"";

// One client's side of the IEEE 488.2 status: its error queue, its standard event status
// register and the two enable registers. Every connection has its own, so that one client
// never reads another's errors.
class Session {
public:
    static constexpr std::size_t QueueCapacity = 16;

    // Standard event status bits.
    static constexpr std::uint8_t OperationComplete = 0x01;
    static constexpr std::uint8_t QueryError = 0x04;
    static constexpr std::uint8_t DeviceError = 0x08;
    static constexpr std::uint8_t ExecutionError = 0x10;
    static constexpr std::uint8_t CommandError = 0x20;

    // Queues the error and sets its event bit. A full queue keeps its oldest entries and
    // turns its last one into -350.
    void addError(DetailedError error);
    void addError(Error error) { addError(DetailedError{error, {}}); }
    // The oldest entry, removed from the queue; NoErrorEntry when it is empty.
    std::string nextError();
    std::size_t errorCount() const { return errors_.size(); }

    // A setting of this client did not reach the generator. The next *OPC or *OPC? then
    // does not report the operations complete, unless the client has read its error queue
    // to the end or cleared it meanwhile.
    void noteSettingDropped() { settingDropped_ = true; }
    // Whether a setting was dropped and not yet seen, since the last time this was asked.
    bool takeSettingDropped();

    // *CLS: empties the queue and the event status register.
    void clearStatus();
    void setEvents(std::uint8_t bits) { events_ |= bits; }
    // *ESR?: the register, cleared by reading.
    std::uint8_t takeEvents();

    void setEventEnable(std::uint8_t mask) { eventEnable_ = mask; }
    std::uint8_t eventEnable() const { return eventEnable_; }
    // Bit 6 of the service request enable register is not settable.
    void setServiceEnable(std::uint8_t mask) { serviceEnable_ = mask & ~SummaryBit; }
    std::uint8_t serviceEnable() const { return serviceEnable_; }

    // *STB?: the error queue is not empty (bit 2), an enabled event is set (bit 5), and the
    // summary of the enabled bits (bit 6). Replies are sent at once, so no message waits.
    std::uint8_t statusByte() const;

private:
    static constexpr std::uint8_t SummaryBit = 0x40;

    std::deque<DetailedError> errors_;
    std::uint8_t events_ = 0;
    std::uint8_t eventEnable_ = 0;
    std::uint8_t serviceEnable_ = 0;
    bool settingDropped_ = false;
};

} // namespace varlo::scpi
