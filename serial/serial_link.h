#pragma once

#include "serial/line_queue.h"
#include "serial/line_settings.h"
#include "serial/port_lock.h"
#include "serial/port_operations.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace varlo {

// The serial component behind the panel (MSComm1): its four properties answer with the
// communication error codes that the panel's handlers are written against. The line is
// one-way, and a command goes to it whole or not at all, because half a command would set the
// generator to something nobody asked for; what the line has taken is never thrown away. A
// lost device is reported once and reopened by the next write, so that a device plugged in
// again needs no restart. varlo-scpi, which must never wait on the line, writes with writeNow
// (serial_link_write_now.cpp) instead.
class SerialLink final : public QObject, public PortOperations {
    Q_OBJECT

public:
    enum class State { Closed, Open, Failed };
    // What became of a write that never waits.
    enum class Written {
        Whole,    // the command is the line's
        LineFull, // the device, or a second of line time queued, leaves no room now
        PortGone, // the device is gone: the link is Failed and the port closed
        NotOpen,  // the port was not open
    };

    SerialLink();
    ~SerialLink() override;
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // The component's four properties.
    std::int16_t setCommPort(int port);
    std::int16_t setSettings(std::string_view settings);
    // The same with settings already read, for programs that parse them from their own words.
    std::int16_t setLineSettings(const LineSettings& settings);
    std::int16_t setPortOpen(bool open);
    // A command that would queue more than about a second of line time, or that the line is
    // not ready for within WriteTimeoutMs, is refused with nothing written, the port open.
    std::int16_t setOutput(std::string_view text);

    // A descriptor that turns readable when the program is told to stop, or -1. A write that
    // waits for the line then gives up at once, refused with nothing written as at its
    // deadline, and a close hands over the rest of a command only as long as a moving line
    // takes to carry it.
    void setStopDescriptor(int descriptor) { stopDescriptor_ = descriptor; }

    // Selects a device by its path ("/dev/ttyUSB0") instead of COMn, for the next open;
    // setCommPort selects by number again. The open and its lock checks are the same.
    std::int16_t setDevicePath(std::string_view path);

    int OpenPort(int port, std::string_view settings, int keepOpen) override;
    std::int16_t ClosePort() override;
    std::optional<PortDiagnosis> lastOpenFailure() const override { return openFailure_; }

    State state() const { return state_; }
    bool isOpen() const { return state_ == State::Open; }
    int commPort() const { return commPort_; }
    // Characters still waiting to go down the open line, as far as the link can tell: what
    // a program pacing its commands at the line's rate, or waiting for them all to have left,
    // goes by. None while the port is not open.
    double queuedCharacters() const;
    // The most characters the line may hold queued (about a second of line time).
    double lineCapacity() const { return queue_.capacity(); }

    // The write that never waits: the command goes whole now, or nothing of it is written.
    Written writeNow(std::string_view text);
    // Asks for one writeReady() as soon as the open line holds no more than `queuedAtMost`
    // characters and the device takes more; a later call replaces an earlier one. Told by
    // the device (its descriptor turning writable, the port's own buffer handed over), or
    // where only the model of the line's pace says it is full, at the moment the model has
    // drained that far.
    void notifyWhenReady(std::size_t queuedAtMost);
    // From the next open on, a hang-up of the device is noticed while nothing is written.
    void watchForHangUp() { watchHangUp_ = true; }
    // Why the link last became Failed, in words: "the line hung up".
    const std::string& failureCause() const { return failureCause_; }

    // The longest a write may hold up the window, in milliseconds.
    static constexpr int WriteTimeoutMs = 1000;

Q_SIGNALS:
    // The line can take more, as asked for by notifyWhenReady.
    void writeReady();
    // The device was found gone outside a call of the link's owner: the link is Failed and
    // the port closed.
    void failed();

private:
    // What a look at the descriptor shows, without waiting.
    struct LineLook {
        bool gone = false;  // unplugged or hung up
        bool ready = false; // the device takes more now
    };

    std::optional<std::string> selectedPath() const;
    std::int16_t openSelectedPort();
    std::optional<PortDiagnosis> explainFailedOpen(std::int16_t code) const;
    std::int16_t applySettings(const LineSettings& settings);
    std::int16_t writeWhole(std::string_view text, const QDeadlineTimer& deadline);
    LineLook lookAtLine() const;
    LineLook waitUntilReady(const QDeadlineTimer& deadline) const;
    std::int16_t handOver(std::string_view text);
    std::int16_t waitUntilHandedOver(const QDeadlineTimer& deadline);
    std::size_t waitingInDevice() const;
    std::int16_t failWrite(std::int16_t code, std::string cause);
    void failOutside(std::string cause);
    void closeQuietly();
    void handOverBuffered();
    bool stopAsked() const;
    bool deviceGone() const { return lookAtLine().gone; }
    void onPortError(QSerialPort::SerialPortError error);
    void checkReady();
    std::chrono::milliseconds nextLook(LineQueue::Clock::duration modelled, std::size_t reported);
    void onLineReadable();
    void startNotifiers();
    void dropNotifiers();

    QSerialPort port_;
    DeviceClaim claim_;
    int commPort_ = 0;
    // Set instead of commPort_ when a device is selected by path.
    std::string devicePath_;
    LineSettings settings_; // the component's initial settings are "9600 N 8 1"
    LineQueue queue_;
    State state_ = State::Closed;
    std::optional<PortDiagnosis> openFailure_;
    std::optional<PortDiagnosis> refusal_; // what the look before the last open refused
    bool inOperation_ = false;             // errors raised inside our own calls are handled there
    int stopDescriptor_ = -1;
    std::string failureCause_;

    // The write-ready notification: what it waits for, and how it is told.
    bool readyWanted_ = false;
    std::size_t readyTarget_ = 0;
    QTimer readyTimer_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::size_t lastReported_ = 0;
    std::chrono::milliseconds stuckInterval_{0};
    // The hang-up watch.
    bool watchHangUp_ = false;
    std::unique_ptr<QSocketNotifier> hangUpNotifier_;
};

} // namespace varlo
