#include "scpi/language/scpi_status.h"

namespace varlo::scpi {

namespace {

// The longest text between the quotes of an entry.
constexpr std::size_t MaxEntryText = 255;

// The event bit of an error's class: -1xx commands, -2xx execution, -3xx the device.
std::uint8_t eventOf(Error error)
{
    if (error.number <= -100 && error.number > -200)
        return Session::CommandError;
    if (error.number <= -200 && error.number > -300)
        return Session::ExecutionError;
    return Session::DeviceError;
}

} // namespace

std::string errorEntry(const DetailedError& error)
{
    std::string text(error.error.text);
    if (!error.detail.empty())
        text += ";" + error.detail;
    if (text.size() > MaxEntryText)
        text.resize(MaxEntryText);
    std::string entry = std::to_string(error.error.number) + ",\"";
    for (const char c : text) {
        entry += c;
        if (c == '"')
            entry += '"';
    }
    return entry + '"';
}

void Session::addError(DetailedError error)
{
    events_ |= eventOf(error.error);
    if (errors_.size() < QueueCapacity) {
        errors_.push_back(std::move(error));
        return;
    }
    errors_.back() = DetailedError{errors::QueueOverflow, {}};
}

std::string Session::nextError()
{
    if (errors_.empty())
        return NoErrorEntry;
    const std::string entry = errorEntry(errors_.front());
    errors_.pop_front();
    if (errors_.empty())
        settingDropped_ = false;
    return entry;
}

bool Session::takeSettingDropped()
{
    const bool dropped = settingDropped_;
    settingDropped_ = false;
    return dropped;
}

void Session::clearStatus()
{
    errors_.clear();
    events_ = 0;
    settingDropped_ = false;
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
