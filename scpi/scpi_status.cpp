#include "scpi/scpi_status.h"

namespace varlo::scpi {

namespace {

const char* errorText(Error error)
{
    switch (error) {
    case Error::Syntax:
        return "Syntax error";
    case Error::DataType:
        return "Data type error";
    case Error::ParameterNotAllowed:
        return "Parameter not allowed";
    case Error::MissingParameter:
        return "Missing parameter";
    case Error::UndefinedHeader:
        return "Undefined header";
    case Error::InvalidSuffix:
        return "Invalid suffix";
    case Error::SettingsConflict:
        return "Settings conflict";
    case Error::OutOfRange:
        return "Data out of range";
    case Error::IllegalValue:
        return "Illegal parameter value";
    case Error::HardwareMissing:
        return "Hardware missing";
    case Error::QueueOverflow:
        return "Queue overflow";
    }
    return "Error";
}

// The event bit of an error's class: -1xx commands, -2xx execution, -3xx the device.
std::uint8_t eventOf(Error error)
{
    const int code = static_cast<int>(error);
    if (code <= -100 && code > -200)
        return Session::CommandError;
    if (code <= -200 && code > -300)
        return Session::ExecutionError;
    return Session::DeviceError;
}

} // namespace

std::string errorEntry(Error error)
{
    return std::to_string(static_cast<int>(error)) + ",\"" + errorText(error) + "\"";
}

void Session::addError(Error error)
{
    events_ |= eventOf(error);
    if (errors_.size() < QueueCapacity) {
        errors_.push_back(error);
        return;
    }
    errors_.back() = Error::QueueOverflow;
}

std::string Session::nextError()
{
    if (errors_.empty())
        return NoErrorEntry;
    const Error error = errors_.front();
    errors_.pop_front();
    return errorEntry(error);
}

void Session::clearStatus()
{
    errors_.clear();
    events_ = 0;
}

std::uint8_t Session::takeEvents()
{
    const std::uint8_t events = events_;
    events_ = 0;
    return events;
}

std::uint8_t Session::statusByte() const
{
    std::uint8_t status = 0;
    if (!errors_.empty())
        status |= 0x04;
    if ((events_ & eventEnable_) != 0)
        status |= 0x20;
    if ((status & serviceEnable_) != 0)
        status |= SummaryBit;
    return status;
}

} // namespace varlo::scpi
