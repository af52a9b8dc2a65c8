#include "pty_pair.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

PtyPair::PtyPair(const QString& dir, int port)
{
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    // Keep no slave descriptor of our own: the program under test is the only user, so
    // closing the master really hangs the line up for it.
    ::close(slave);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    // A program the test starts must not hold the master too, or closing it hangs nothing up.
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    slavePath_ = name;
    linkPath_ = (dir + QStringLiteral("/COM%1").arg(port)).toStdString();
    ::unlink(linkPath_.c_str());
    if (::symlink(slavePath_.c_str(), linkPath_.c_str()) != 0)
        throw std::runtime_error("cannot publish the pty");
}

PtyPair::~PtyPair()
{
    closeMaster();
    ::unlink(linkPath_.c_str());
}

std::string PtyPair::readAtMaster(std::size_t count, int timeoutMs)
{
    std::string received;
    QElapsedTimer timer;
    timer.start();
    while (received.size() < count && timer.elapsed() < timeoutMs && master_ >= 0) {
        // The program writes from its event loop, so keep it turning while we wait.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        pollfd pfd{master_, POLLIN, 0};
        if (::poll(&pfd, 1, 10) > 0 && (pfd.revents & POLLIN)) {
            char buffer[256];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0)
                received.append(buffer, static_cast<std::size_t>(n));
        }
    }
    return received;
}

void PtyPair::closeMaster()
{
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

bool PtyPair::slaveHeldOpen() const
{
    if (master_ < 0)
        return false;
    // With no process holding the slave, the master reports a hang-up.
    pollfd pfd{master_, POLLIN, 0};
    ::poll(&pfd, 1, 0);
    return (pfd.revents & POLLHUP) == 0;
}

PortDir::PortDir()
{
    hadPrevious_ = qEnvironmentVariableIsSet("VARLO_PORT_DIR");
    previous_ = qgetenv("VARLO_PORT_DIR");
    qputenv("VARLO_PORT_DIR", dir_.path().toLocal8Bit());
}

PortDir::~PortDir()
{
    if (hadPrevious_)
        qputenv("VARLO_PORT_DIR", previous_);
    else
        qunsetenv("VARLO_PORT_DIR");
}
