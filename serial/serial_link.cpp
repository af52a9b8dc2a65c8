#include "serial/serial_link.h"

#include "serial/comm_error_text.h"
#include "serial/link_codes.h"
#include "serial/port_names.h"
#include "serial/serial_link_operations.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace varlo {

using serial_link_detail::HungUp;
using serial_link_detail::OperationScope;

namespace {

// The port's own failures go to the table of codes under the numbers Qt gives them.
constexpr bool sameNumber(QSerialPort::SerialPortError qt, PortError ours)
{
    return static_cast<int>(qt) == static_cast<int>(ours);
}
static_assert(sameNumber(QSerialPort::NoError, PortError::NoError) &&
              sameNumber(QSerialPort::DeviceNotFoundError, PortError::DeviceNotFound) &&
              sameNumber(QSerialPort::PermissionError, PortError::Permission) &&
              sameNumber(QSerialPort::OpenError, PortError::Open) &&
              sameNumber(QSerialPort::WriteError, PortError::Write) &&
              sameNumber(QSerialPort::ReadError, PortError::Read) &&
              sameNumber(QSerialPort::ResourceError, PortError::Resource) &&
              sameNumber(QSerialPort::UnsupportedOperationError, PortError::UnsupportedOperation) &&
              sameNumber(QSerialPort::UnknownError, PortError::Unknown) &&
              sameNumber(QSerialPort::TimeoutError, PortError::Timeout) &&
              sameNumber(QSerialPort::NotOpenError, PortError::NotOpen));

std::int16_t codeFor(QSerialPort::SerialPortError error)
{
    return codeForPortError(static_cast<PortError>(error));
}

QSerialPort::Parity qtParity(LineSettings::Parity parity)
{
    switch (parity) {
    case LineSettings::Parity::None:
        return QSerialPort::NoParity;
    case LineSettings::Parity::Even:
        return QSerialPort::EvenParity;
    case LineSettings::Parity::Odd:
        return QSerialPort::OddParity;
    case LineSettings::Parity::Mark:
        return QSerialPort::MarkParity;
    case LineSettings::Parity::Space:
        return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

std::optional<QSerialPort::StopBits> qtStopBits(const LineSettings& settings)
{
    switch (settings.stopBits) {
    case LineSettings::StopBits::One:
        return QSerialPort::OneStop;
    case LineSettings::StopBits::OneAndHalf:
        // A terminal knows one or two stop bits; with five data bits the UART makes "two"
        // one and a half. Any other 1.5 cannot be carried by the line.
        if (settings.dataBits == 5)
            return QSerialPort::TwoStop;
        return std::nullopt;
    case LineSettings::StopBits::Two:
        return QSerialPort::TwoStop;
    }
    return std::nullopt;
}

// What poll shows on the descriptor of an unplugged adapter or a hung-up line.
constexpr short GoneEvents = POLLHUP | POLLERR | POLLNVAL;

// After a stop has been asked for, how much longer than its modelled time a moving line
// may take to carry what is queued before a close, and the longest a close then waits: the
// program ends well within a second.
constexpr std::chrono::milliseconds StopMargin{100};
constexpr std::chrono::milliseconds StopLongest{500};

} // namespace

SerialLink::SerialLink()
{
    readyTimer_.setSingleShot(true);
    readyTimer_.setTimerType(Qt::PreciseTimer);
    connect(&readyTimer_, &QTimer::timeout, this, &SerialLink::checkReady);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialLink::onPortError);
    // The rest of a command handed over through the port's own buffer: the line may be
    // ready for more.
    connect(&port_, &QSerialPort::bytesWritten, this, [this] {
        if (readyWanted_ && port_.bytesToWrite() == 0)
            checkReady();
    });
}

SerialLink::~SerialLink()
{
    OperationScope scope(inOperation_);
    closeQuietly();
}

std::int16_t SerialLink::setCommPort(int port)
{
    if (state_ == State::Open)
        return comm_code::AlreadyOpen;
    if (!configuredDevicePath(port))
        return comm_code::InvalidId;
    commPort_ = port;
    devicePath_.clear();
    return comm_code::None;
}

std::int16_t SerialLink::setDevicePath(std::string_view path)
{
    if (state_ == State::Open)
        return comm_code::AlreadyOpen;
    if (path.empty())
        return comm_code::InvalidId;
    commPort_ = 0;
    devicePath_ = path;
    return comm_code::None;
}

std::int16_t SerialLink::setSettings(std::string_view settings)
{
    OperationScope scope(inOperation_);
    const auto parsed = parseLineSettings(settings);
    if (!parsed)
        return comm_code::BadParameters;
    return setLineSettings(*parsed);
}

std::int16_t SerialLink::setLineSettings(const LineSettings& settings)
{
    OperationScope scope(inOperation_);
    if (state_ == State::Open)
        if (const std::int16_t code = applySettings(settings); code != comm_code::None)
            return code;
    settings_ = settings;
    return comm_code::None;
}

std::int16_t SerialLink::setPortOpen(bool open)
{
    OperationScope scope(inOperation_);
    if (open) {
        if (state_ == State::Open)
            return comm_code::AlreadyOpen;
        // A failed port may still wait for its close; it is let go before the next open.
        closeQuietly();
        refusal_.reset();
        const std::int16_t code = openSelectedPort();
        if (code == comm_code::None)
            state_ = State::Open;
        else
            openFailure_ = explainFailedOpen(code);
        return code;
    }
    switch (state_) {
    case State::Closed:
        return comm_code::NotOpen;
    case State::Failed:
        // The failure that closed the port has been reported already.
        state_ = State::Closed;
        return comm_code::None;
    case State::Open:
        break;
    }
    const bool gone = deviceGone();
    if (!gone)
        handOverBuffered();
    dropNotifiers();
    port_.clearError();
    port_.close();
    const QSerialPort::SerialPortError closeError = port_.error();
    claim_.release();
    state_ = State::Closed;
    if (gone)
        return comm_code::HardwareGone;
    return codeFor(closeError);
}

std::int16_t SerialLink::setOutput(std::string_view text)
{
    OperationScope scope(inOperation_);
    const QDeadlineTimer deadline(WriteTimeoutMs);
    if (state_ == State::Closed)
        return comm_code::NotOpen;
    if (state_ == State::Failed) {
        // Whoever plugged the device back in only has to press Enter again.
        closeQuietly();
        if (const std::int16_t code = openSelectedPort(); code != comm_code::None)
            return code;
        state_ = State::Open;
    }
    return writeWhole(text, deadline);
}

int SerialLink::OpenPort(int port, std::string_view settings, int keepOpen)
{
    // Each failure skips the remaining steps and makes the result 0, silently.
    openFailure_.reset();
    if (setCommPort(port) != comm_code::None)
        return 0;
    if (setSettings(settings) != comm_code::None)
        return 0;
    if (setPortOpen(true) != comm_code::None)
        return 0;
    if (keepOpen == 0 && setPortOpen(false) != comm_code::None)
        return 0;
    return port;
}

std::int16_t SerialLink::ClosePort()
{
    return setPortOpen(false);
}

std::optional<std::string> SerialLink::selectedPath() const
{
    if (!devicePath_.empty())
        return devicePath_;
    return configuredDevicePath(commPort_);
}

std::int16_t SerialLink::openSelectedPort()
{
    const auto path = selectedPath();
    if (!path)
        return comm_code::InvalidId;
    // The device itself is opened, not the name that leads to it, so that lock files name the
    // device and two names for one device cannot both be taken.
    PortCheck check = checkPort(*path, lockFileDirectories());
    if (check.diagnosis.state != PortState::Free) {
        refusal_ = std::move(check.diagnosis);
        return codeForPortState(refusal_->state);
    }

    port_.setPortName(QString::fromStdString(check.device));
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.clearError();
    // The open sets the exclusive-open flag and the close clears it again: the flag is this
    // link's own, since a port whose flag was set already has been refused above.
    if (!port_.open(QIODevice::WriteOnly))
        return codeFor(port_.error());
    if (const std::int16_t code = applySettings(settings_); code != comm_code::None) {
        port_.close();
        return code;
    }
    claim_ = std::move(check.claim);
    queue_.restart(charactersPerSecond(settings_), LineQueue::Clock::now());
    failureCause_.clear();
    startNotifiers();
    return comm_code::None;
}

// What the look before the open found; past it, the code the open failed with tells what the
// look could not see (settings the device refused, say).
std::optional<PortDiagnosis> SerialLink::explainFailedOpen(std::int16_t code) const
{
    if (refusal_)
        return refusal_;
    const auto path = selectedPath();
    if (!path)
        return std::nullopt;
    PortDiagnosis diagnosis;
    diagnosis.device = *path;
    diagnosis.state = PortState::OpenFailed;
    diagnosis.detail = commErrorText(code);
    return diagnosis;
}

std::int16_t SerialLink::applySettings(const LineSettings& settings)
{
    if (!port_.setBaudRate(settings.baud))
        return comm_code::BaudRate;
    if (!port_.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)))
        return comm_code::ByteSize;
    if (!port_.setParity(qtParity(settings.parity)))
        return comm_code::BadParameters;
    const auto stopBits = qtStopBits(settings);
    if (!stopBits || !port_.setStopBits(*stopBits))
        return comm_code::BadParameters;
    if (!port_.setFlowControl(QSerialPort::NoFlowControl))
        return comm_code::BadParameters;
    if (const std::int16_t code = settingsHeldBy(static_cast<int>(port_.handle()), settings);
        code != comm_code::None)
        return code;
    queue_.setRate(charactersPerSecond(settings));
    return comm_code::None;
}

// The panel's write: a look at the line, a wait until it is ready, the command handed to the
// device, and a wait until the port's own buffer has handed over what the device did not
// take at once; the two waits end at the same deadline.
std::int16_t SerialLink::writeWhole(std::string_view text, const QDeadlineTimer& deadline)
{
    // An unplugged adapter or a hung-up line is told as such before anything else.
    LineLook line = lookAtLine();
    if (line.gone)
        return failWrite(comm_code::HardwareGone, HungUp);
    if (!queue_.takes(text.size(), waitingInDevice(), LineQueue::Clock::now()))
        return comm_code::TxFull;
    // Only a line ready for more is handed the command: then the device takes it whole.
    // A line that stays stalled until the deadline refuses it with nothing written, and the
    // port stays open for the Enter after the line moves again.
    if (!line.ready) {
        line = waitUntilReady(deadline);
        if (line.gone)
            return failWrite(comm_code::HardwareGone, HungUp);
        if (!line.ready)
            return comm_code::TxFull;
    }
    if (const std::int16_t code = handOver(text); code != comm_code::None)
        return code;
    return waitUntilHandedOver(deadline);
}

SerialLink::LineLook SerialLink::lookAtLine() const
{
    if (!port_.isOpen())
        return {true, false};
    pollfd now{static_cast<int>(port_.handle()), POLLOUT, 0};
    if (::poll(&now, 1, 0) <= 0)
        return {false, false};
    return {(now.revents & GoneEvents) != 0, (now.revents & POLLOUT) != 0};
}

// A stop asked for meanwhile ends the wait as the deadline does, before anything is written.
SerialLink::LineLook SerialLink::waitUntilReady(const QDeadlineTimer& deadline) const
{
    const int fd = static_cast<int>(port_.handle());
    while (true) {
        pollfd pfds[2]{{fd, POLLOUT, 0}, {stopDescriptor_, POLLIN, 0}};
        const int ready = ::poll(pfds, 2, static_cast<int>(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || (pfds[0].revents & GoneEvents) != 0)
            return {true, false};
        return {false, (pfds[0].revents & POLLOUT) != 0};
    }
}

// Straight to the device while nothing of an earlier command waits in the port's own
// buffer: a ready line takes a command whole in one call, with no round through Qt's buffer
// and event loop. Whatever it leaves goes through that buffer, behind nothing, and follows
// as the line moves; the command is the link's from here on and counts as sent.
std::int16_t SerialLink::handOver(std::string_view text)
{
    const int fd = static_cast<int>(port_.handle());
    std::string_view rest = text;
    if (port_.bytesToWrite() == 0) {
        ssize_t written = -1;
        do
            written = ::write(fd, rest.data(), rest.size());
        while (written < 0 && errno == EINTR);
        if (written < 0 && errno != EAGAIN)
            return failWrite(comm_code::HardwareGone,
                             std::string("the write failed: ") + std::strerror(errno));
        if (written > 0)
            rest.remove_prefix(static_cast<std::size_t>(written));
    }
    // Clearing words the error anew: only an error left from before needs it.
    if (port_.error() != QSerialPort::NoError)
        port_.clearError();
    const QByteArray bytes(rest.data(), static_cast<qsizetype>(rest.size()));
    if (!rest.empty() && port_.write(bytes) != bytes.size())
        return failWrite(codeFor(port_.error()), port_.errorString().toStdString());
    queue_.add(text.size(), LineQueue::Clock::now());
    return comm_code::None;
}

std::int16_t SerialLink::waitUntilHandedOver(const QDeadlineTimer& deadline)
{
    while (port_.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!port_.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
            const QSerialPort::SerialPortError error = port_.error();
            if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
                return deviceGone() ? failWrite(comm_code::HardwareGone, HungUp)
                                    : failWrite(codeFor(error), port_.errorString().toStdString());
        }
    }
    return comm_code::None;
}

double SerialLink::queuedCharacters() const
{
    if (state_ != State::Open)
        return 0;
    return std::max(queue_.queuedAt(LineQueue::Clock::now()),
                    static_cast<double>(waitingInDevice()));
}

std::size_t SerialLink::waitingInDevice() const
{
    std::size_t waiting = static_cast<std::size_t>(port_.bytesToWrite());
    int queued = 0;
    if (::ioctl(static_cast<int>(port_.handle()), TIOCOUTQ, &queued) == 0 && queued > 0)
        waiting += static_cast<std::size_t>(queued);
    return waiting;
}

std::int16_t SerialLink::failWrite(std::int16_t code, std::string cause)
{
    failureCause_ = std::move(cause);
    closeQuietly();
    state_ = State::Failed;
    return code;
}

void SerialLink::failOutside(std::string cause)
{
    if (state_ != State::Open)
        return;
    OperationScope scope(inOperation_);
    failWrite(comm_code::HardwareGone, std::move(cause));
    Q_EMIT failed();
}

void SerialLink::closeQuietly()
{
    if (port_.isOpen()) {
        if (!deviceGone())
            handOverBuffered();
        dropNotifiers();
        port_.close();
    }
    port_.clearError();
    claim_.release();
}

void SerialLink::handOverBuffered()
{
    // A close drops what the port itself still buffers; a command that went out in part
    // must not end cut, so the device gets the rest first, within one write deadline. Once
    // the program has been told to stop, only within the time a moving line takes to carry
    // what is queued before it: a stalled line would hold up the end for nothing. What the
    // device holds already goes on down the line after the close: nothing is flushed.
    if (port_.bytesToWrite() == 0)
        return;
    QDeadlineTimer deadline(WriteTimeoutMs);
    if (stopAsked()) {
        const auto queued = static_cast<std::size_t>(queuedCharacters());
        const auto carried =
            std::chrono::duration_cast<std::chrono::milliseconds>(lineTime(settings_, queued));
        deadline = QDeadlineTimer(std::min(carried + StopMargin, StopLongest));
    }
    port_.clearError();
    while (port_.bytesToWrite() > 0 && !deadline.hasExpired())
        if (!port_.waitForBytesWritten(static_cast<int>(deadline.remainingTime())) &&
            port_.error() != QSerialPort::TimeoutError)
            break;
}

bool SerialLink::stopAsked() const
{
    pollfd stop{stopDescriptor_, POLLIN, 0};
    return stopDescriptor_ >= 0 && ::poll(&stop, 1, 0) > 0 && (stop.revents & POLLIN) != 0;
}

void SerialLink::onPortError(QSerialPort::SerialPortError error)
{
    if (inOperation_ || error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    if (state_ != State::Open)
        return;
    // A failing device can raise this over and over; the first one closes the port. The
    // close waits until the port's own signal has returned, and the next write reports it.
    state_ = State::Failed;
    failureCause_ = port_.errorString().toStdString();
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (state_ == State::Failed) {
                {
                    OperationScope scope(inOperation_);
                    closeQuietly();
                }
                Q_EMIT failed();
            }
        },
        Qt::QueuedConnection);
}

} // namespace varlo
