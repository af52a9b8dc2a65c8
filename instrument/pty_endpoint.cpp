#include "instrument/pty_endpoint.h"

#include "serial/port_names.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace varlo::instrument {

namespace {

constexpr int HangUpPauseMs = 200;

} // namespace

PtyEndpoint::Opened PtyEndpoint::open(const QString& directory, int port)
{
    const std::optional<std::string> linkPath = portDevicePath(port, directory.toStdString());
    if (!linkPath)
        return {nullptr, QStringLiteral("no port COM%1").arg(port)};
    PseudoTerminal::Opened opened = PseudoTerminal::open(*linkPath, PseudoTerminal::Slave::Kept);
    if (!opened.terminal)
        return {nullptr, QString::fromStdString(opened.error)};
    return {std::unique_ptr<PtyEndpoint>(new PtyEndpoint(std::move(*opened.terminal))), {}};
}

PtyEndpoint::PtyEndpoint(PseudoTerminal terminal)
    : terminal_(std::move(terminal)), notifier_(terminal_.master(), QSocketNotifier::Read)
{
    hangUpPause_.setSingleShot(true);
    hangUpPause_.setInterval(HangUpPauseMs);
    connect(&notifier_, &QSocketNotifier::activated, this, &PtyEndpoint::readMaster);
    connect(&hangUpPause_, &QTimer::timeout, this, &PtyEndpoint::resumeReading);
    // Each open of the slave by anyone makes one open event and, once its last descriptor
    // is gone (also when its process was killed), one close event: the difference is the
    // number of others holding the port. Without a kept slave there is nothing to free.
    if (terminal_.slave() < 0)
        return;
    slaveWatch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (slaveWatch_ < 0)
        return;
    if (::inotify_add_watch(slaveWatch_, terminal_.slavePath().c_str(),
                            IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        ::close(slaveWatch_);
        slaveWatch_ = -1;
        return;
    }
    slaveWatchNotifier_ = std::make_unique<QSocketNotifier>(slaveWatch_, QSocketNotifier::Read);
    connect(slaveWatchNotifier_.get(), &QSocketNotifier::activated, this,
            &PtyEndpoint::countSlaveUsers);
}

PtyEndpoint::~PtyEndpoint()
{
    notifier_.setEnabled(false);
    slaveWatchNotifier_.reset();
    if (slaveWatch_ >= 0)
        ::close(slaveWatch_);
}

void PtyEndpoint::readMaster()
{
    QByteArray received;
    char buffer[512];
    for (;;) {
        const ssize_t count = ::read(terminal_.master(), buffer, sizeof buffer);
        if (count > 0) {
            received.append(buffer, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            // Hang-up (EIO while nobody holds the slave): the notifier would fire at once
            // again, so listen again only after a pause.
            notifier_.setEnabled(false);
            hangUpPause_.start();
        }
        break;
    }
    if (!received.isEmpty())
        Q_EMIT bytesReceived(received);
}

void PtyEndpoint::resumeReading()
{
    notifier_.setEnabled(true);
}

void PtyEndpoint::countSlaveUsers()
{
    alignas(inotify_event) char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(slaveWatch_, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < count;) {
            inotify_event event{};
            std::memcpy(&event, buffer + at, sizeof event);
            if ((event.mask & IN_Q_OVERFLOW) != 0)
                countLost_ = true;
            if ((event.mask & IN_OPEN) != 0)
                ++othersOpen_;
            if ((event.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) != 0)
                othersOpen_ = std::max(0, othersOpen_ - 1);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        }
    }
    if (othersOpen_ > 0 || countLost_)
        return;
    // Nobody but this side holds the slave: a flag still set was left by a holder that is gone.
    int exclusive = 0;
    if (::ioctl(terminal_.slave(), TIOCGEXCL, &exclusive) == 0 && exclusive != 0)
        ::ioctl(terminal_.slave(), TIOCNXCL);
}

} // namespace varlo::instrument
