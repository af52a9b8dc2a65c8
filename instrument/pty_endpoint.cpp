#include "pty_endpoint.h"

#include "serial/port_names.h"

#include <cerrno>
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
}

PtyEndpoint::~PtyEndpoint()
{
    notifier_.setEnabled(false);
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

} // namespace varlo::instrument
