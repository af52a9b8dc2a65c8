#include "pty_endpoint.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace varlo::instrument {

namespace {

constexpr int HangUpPauseMs = 200;

QString systemError(const QString& what)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// No line discipline between the panel's bytes and ours; the line settings are the panel's,
// a pty accepts whatever it asks for.
void makeRaw(int slave)
{
    termios settings{};
    if (::tcgetattr(slave, &settings) != 0)
        return;
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B9600);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    ::tcsetattr(slave, TCSANOW, &settings);
}

// Replaces a leftover link of an earlier run in one step; anything that is not a link is
// left alone.
QString publish(const QString& slavePath, const QString& linkPath)
{
    const QFileInfo existing(linkPath);
    if (existing.exists() && !existing.isSymLink())
        return linkPath + QStringLiteral(" exists and is not a link; not replacing it");
    if (!existing.exists() && !existing.isSymLink() && !QFileInfo(existing.absolutePath()).isDir())
        return existing.absolutePath() + QStringLiteral(" is not a directory");
    const QByteArray target = slavePath.toLocal8Bit();
    const QByteArray link = linkPath.toLocal8Bit();
    const QByteArray staging = link + ".new." + QByteArray::number(::getpid());
    ::unlink(staging.constData());
    if (::symlink(target.constData(), staging.constData()) != 0)
        return systemError(QStringLiteral("cannot create ") + QString::fromLocal8Bit(staging));
    if (::rename(staging.constData(), link.constData()) != 0) {
        const QString error = systemError(QStringLiteral("cannot create ") + linkPath);
        ::unlink(staging.constData());
        return error;
    }
    return {};
}

} // namespace

PtyEndpoint::Opened PtyEndpoint::open(const QString& directory, int port)
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return {nullptr, systemError(QStringLiteral("cannot create a pseudo-terminal"))};
    makeRaw(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);

    const QString slavePath = QString::fromLocal8Bit(name);
    const QString linkPath = directory + QStringLiteral("/COM") + QString::number(port);
    if (const QString error = publish(slavePath, linkPath); !error.isEmpty()) {
        ::close(slave);
        ::close(master);
        return {nullptr, error};
    }
    return {std::unique_ptr<PtyEndpoint>(new PtyEndpoint(master, slave, slavePath, linkPath)), {}};
}

PtyEndpoint::PtyEndpoint(int master, int slave, QString slavePath, QString linkPath)
    : master_(master), slave_(slave), slavePath_(std::move(slavePath)),
      linkPath_(std::move(linkPath)), notifier_(master, QSocketNotifier::Read)
{
    hangUpPause_.setSingleShot(true);
    hangUpPause_.setInterval(HangUpPauseMs);
    connect(&notifier_, &QSocketNotifier::activated, this, &PtyEndpoint::readMaster);
    connect(&hangUpPause_, &QTimer::timeout, this, &PtyEndpoint::resumeReading);
}

PtyEndpoint::~PtyEndpoint()
{
    notifier_.setEnabled(false);
    // Only our own link: another instrument may have taken the name over since.
    const QByteArray link = linkPath_.toLocal8Bit();
    char target[256] = {};
    const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
    if (length > 0 && QString::fromLocal8Bit(target, length) == slavePath_)
        ::unlink(link.constData());
    ::close(slave_);
    ::close(master_);
}

void PtyEndpoint::readMaster()
{
    QByteArray received;
    char buffer[512];
    for (;;) {
        const ssize_t count = ::read(master_, buffer, sizeof buffer);
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
