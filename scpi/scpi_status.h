#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace varlo::scpi {

// The errors a client reads back with SYSTem:ERRor?, by SCPI's standard numbers.
enum class Error : int {
    Syntax = -102,
    DataType = -104,
    ParameterNotAllowed = -108,
    MissingParameter = -109,
    UndefinedHeader = -113,
    InvalidSuffix = -131,
    SettingsConflict = -221,
    OutOfRange = -222,
    IllegalValue = -224,
    HardwareMissing = -241,
    QueueOverflow = -350,
};

// The entry as SYSTem:ERRor? answers it: -222,"Data out of range".
std::string errorEntry(Error error);
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
    void addError(Error error);
    // The oldest entry, removed from the queue; NoErrorEntry when it is empty.
    std::string nextError();
    std::size_t errorCount() const { return errors_.size(); }

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

    std::deque<Error> errors_;
    std::uint8_t events_ = 0;
    std::uint8_t eventEnable_ = 0;
    std::uint8_t serviceEnable_ = 0;
};

} // namespace varlo::scpi
