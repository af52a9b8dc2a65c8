#pragma once

#include "serial/line_settings.h"
#include "serial/port_operations.h"

#include <QSerialPort>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varlo {

// The serial component behind the panel (MSComm1): one port, selected by number, opened with
// a settings text, written to in whole commands. Each property set either succeeds (0) or
// fails with a communication error code. OpenPort traps failures silently; ClosePort and
// the write report them to the caller.
class SerialLink final : public PortOperations {
public:
    enum class State { Closed, Open, Failed };

    SerialLink();
    ~SerialLink() override;
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // The component's four properties.
    std::int16_t setCommPort(int port);
    std::int16_t setSettings(std::string_view settings);
    std::int16_t setPortOpen(bool open);
    std::int16_t setOutput(std::string_view text);

    int OpenPort(int port, std::string_view settings, int keepOpen) override;
    std::int16_t ClosePort() override;

    State state() const { return state_; }
    bool isOpen() const { return state_ == State::Open; }
    int commPort() const { return commPort_; }

    // The longest a write may hold up the window, in milliseconds.
    static constexpr int WriteTimeoutMs = 1000;

private:
    void onPortError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    int commPort_ = 0;
    std::optional<LineSettings> settings_;
    State state_ = State::Closed;
};

} // namespace varlo
