#include "serial/serial_link.h"

#include "serial/comm_error_text.h"
#include "serial/port_names.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <optional>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace varlo {

namespace {

// Every failure of the link and the communication error code it is reported with, so that
// the wording the user reads fits what happened:
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
//   line not ready for it within WriteTimeoutMs (nothing written)
//
// and for failures reported by the serial port itself:
struct PortErrorCode {
    QSerialPort::SerialPortError error;
    std::int16_t code;
};
constexpr PortErrorCode PortErrorCodes[] = {
    {QSerialPort::NoError, comm_code::None},
    {QSerialPort::DeviceNotFoundError, comm_code::HardwareGone},
    {QSerialPort::PermissionError, comm_code::AlreadyOpen}, // locked or refused: in use
    {QSerialPort::OpenError, comm_code::AlreadyOpen},
    {QSerialPort::NotOpenError, comm_code::NotOpen},
    {QSerialPort::ResourceError, comm_code::HardwareGone}, // how an unplugged device shows
    {QSerialPort::WriteError, comm_code::TxFull},          // the line would not take the bytes
    {QSerialPort::TimeoutError, comm_code::TxFull},
    {QSerialPort::ReadError, comm_code::HardwareGone},
    {QSerialPort::UnsupportedOperationError, comm_code::BadParameters},
    {QSerialPort::UnknownError, comm_code::HardwareGone},
};

std::int16_t codeFor(QSerialPort::SerialPortError error)
{
    for (const auto& row : PortErrorCodes)
        if (row.error == error)
            return row.code;
    return comm_code::HardwareGone;
}

std::int16_t codeFor(PortState state)
{
    switch (state) {
    case PortState::Free:
        return comm_code::None;
    case PortState::Missing:
    case PortState::BrokenLink:
        return comm_code::HardwareGone;
    case PortState::NotATerminal:
        return comm_code::InvalidId;
    case PortState::PermissionDenied:
    case PortState::Busy:
    case PortState::MarkedExclusive:
    case PortState::NamelessLock:
    case PortState::StaleLock:
    case PortState::OpenFailed:
        return comm_code::AlreadyOpen;
    }
    return comm_code::HardwareGone;
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

// Some devices keep quiet about settings they cannot carry (a pseudo-terminal drops parity
// and keeps eight data bits), so what the terminal holds afterwards is read back.
std::int16_t lineTakesSettings(int fd, const LineSettings& settings)
{
    termios line{};
    if (::tcgetattr(fd, &line) != 0)
        return comm_code::HardwareGone;
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if ((line.c_cflag & CSIZE) != sizes[settings.dataBits - 5])
        return comm_code::ByteSize;
    const bool parity = settings.parity != LineSettings::Parity::None;
    if (((line.c_cflag & PARENB) != 0) != parity)
        return comm_code::BadParameters;
    const bool twoStopBits = settings.stopBits != LineSettings::StopBits::One;
    if (((line.c_cflag & CSTOPB) != 0) != twoStopBits)
        return comm_code::BadParameters;
    return comm_code::None;
}

// What poll shows on the descriptor of an unplugged adapter or a hung-up line.
constexpr short GoneEvents = POLLHUP | POLLERR | POLLNVAL;

// Marks the span of one of our own operations: errors the port raises meanwhile are read
// by the operation itself.
class OperationScope {
public:
    explicit OperationScope(bool& flag) : flag_(flag), outer_(flag) { flag_ = true; }
    ~OperationScope() { flag_ = outer_; }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

private:
    bool& flag_;
    bool outer_;
};

} // namespace

SerialLink::SerialLink()
{
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                     [this](QSerialPort::SerialPortError error) { onPortError(error); });
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
        return codeFor(refusal_->state);
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
    if (const std::int16_t code = lineTakesSettings(static_cast<int>(port_.handle()), settings);
        code != comm_code::None)
        return code;
    queue_.setRate(charactersPerSecond(settings));
    return comm_code::None;
}

std::int16_t SerialLink::writeWhole(std::string_view text, const QDeadlineTimer& deadline)
{
    // An unplugged adapter or a hung-up line shows as a hang-up on the descriptor; it is
    // told as such before anything else, and a ready line needs no second look below.
    const int fd = static_cast<int>(port_.handle());
    pollfd now{fd, POLLOUT, 0};
    if (!port_.isOpen() || (::poll(&now, 1, 0) > 0 && (now.revents & GoneEvents) != 0))
        return failWrite(comm_code::HardwareGone);
    if (!queue_.takes(text.size(), waitingInDevice(), LineQueue::Clock::now()))
        return comm_code::TxFull;
    // Only a line ready for more is handed the command: then the device takes it whole.
    // A line that stays stalled until the deadline refuses it with nothing written, and the
    // port stays open for the Enter after the line moves again.
    // A stop asked for meanwhile ends the wait the same way, before anything is written.
    while ((now.revents & POLLOUT) == 0) {
        pollfd pfds[2]{{fd, POLLOUT, 0}, {stopDescriptor_, POLLIN, 0}};
        const int ready = ::poll(pfds, 2, static_cast<int>(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0 || (ready > 0 && pfds[0].revents == 0))
            return comm_code::TxFull;
        if (ready < 0 || (pfds[0].revents & GoneEvents) != 0)
            return failWrite(comm_code::HardwareGone);
        now.revents = pfds[0].revents;
    }
    // Straight to the device while nothing of an earlier command waits in the port's own
    // buffer: a ready line takes a command whole in one call, with no round through Qt's
    // buffer and event loop. Whatever it leaves goes through that buffer, behind nothing.
    std::string_view rest = text;
    if (port_.bytesToWrite() == 0) {
        ssize_t written = -1;
        do
            written = ::write(fd, rest.data(), rest.size());
        while (written < 0 && errno == EINTR);
        if (written < 0 && errno != EAGAIN)
            return failWrite(comm_code::HardwareGone);
        if (written > 0)
            rest.remove_prefix(static_cast<std::size_t>(written));
    }
    port_.clearError();
    const QByteArray bytes(rest.data(), static_cast<qsizetype>(rest.size()));
    if (!rest.empty() && port_.write(bytes) != bytes.size())
        return failWrite(codeFor(port_.error()));
    queue_.add(text.size(), LineQueue::Clock::now());
    // What the device has not yet taken stays in the port's own buffer and follows as the
    // line moves; the command is the link's from here on and counts as sent.
    while (port_.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!port_.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
            const QSerialPort::SerialPortError error = port_.error();
            if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
                return failWrite(deviceGone() ? comm_code::HardwareGone : codeFor(error));
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

std::int16_t SerialLink::failWrite(std::int16_t code)
{
    closeQuietly();
    state_ = State::Failed;
    return code;
}

void SerialLink::closeQuietly()
{
    if (port_.isOpen()) {
        if (!deviceGone())
            handOverBuffered();
        port_.close();
    }
    port_.clearError();
    claim_.release();
}

void SerialLink::handOverBuffered()
{
    // A close drops what the port itself still buffers; a command that went out in part
    // must not end cut, so the device gets the rest first, within one write deadline. What
    // the device holds already goes on down the line after the close: nothing is flushed.
    const QDeadlineTimer deadline(WriteTimeoutMs);
    port_.clearError();
    while (port_.bytesToWrite() > 0 && !deadline.hasExpired())
        if (!port_.waitForBytesWritten(static_cast<int>(deadline.remainingTime())) &&
            port_.error() != QSerialPort::TimeoutError)
            break;
}

bool SerialLink::deviceGone() const
{
    if (!port_.isOpen())
        return true;
    pollfd pfd{static_cast<int>(port_.handle()), 0, 0};
    return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & GoneEvents) != 0;
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
    QMetaObject::invokeMethod(
        &port_,
        [this] {
            if (state_ == State::Failed) {
                OperationScope scope(inOperation_);
                closeQuietly();
            }
        },
        Qt::QueuedConnection);
}

} // namespace varlo
