#include "tests/qt/pty_pair.h"

#include "serial/port_names.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace {

// Keeps no slave descriptor of its own: the program under test is the only user, so closing
// the master really hangs the line up for it.
varlo::PseudoTerminal publish(const QString& dir, int port)
{
    const auto link = varlo::portDevicePath(port, dir.toStdString());
    if (!link)
        throw std::runtime_error("no port COM" + std::to_string(port));
    auto opened = varlo::PseudoTerminal::open(*link, varlo::PseudoTerminal::Slave::Released);
    if (!opened.terminal)
        throw std::runtime_error(opened.error);
    return std::move(*opened.terminal);
}

} // namespace

PtyPair::PtyPair(const QString& dir, int port) : terminal_(publish(dir, port)) {}

std::string PtyPair::readAtMaster(std::size_t count, int timeoutMs)
{
    std::string received;
    QElapsedTimer timer;
    timer.start();
    const int master = terminal_.master();
    while (received.size() < count && timer.elapsed() < timeoutMs && master >= 0) {
        // The program writes from its event loop, so keep it turning while we wait.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        pollfd pfd{master, POLLIN, 0};
        if (::poll(&pfd, 1, 10) > 0 && (pfd.revents & POLLIN)) {
            char buffer[256];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0)
                received.append(buffer, static_cast<std::size_t>(n));
        }
    }
    return received;
}

void PtyPair::closeMaster()
{
    terminal_.closeMaster();
}

bool PtyPair::slaveHeldOpen() const
{
    if (terminal_.master() < 0)
        return false;
    // With no process holding the slave, the master reports a hang-up.
    pollfd pfd{terminal_.master(), POLLIN, 0};
    ::poll(&pfd, 1, 0);
    return (pfd.revents & POLLHUP) == 0;
}

termios PtyPair::lineSettings() const
{
    // On a master, the terminal calls read the slave's settings.
    termios line{};
    if (::tcgetattr(terminal_.master(), &line) != 0)
        throw std::runtime_error("cannot read the line's settings at the master");
    return line;
}

OpenWatch::OpenWatch(const std::string& path)
    : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
      watch_(::inotify_add_watch(fd_, path.c_str(), IN_OPEN))
{
}

OpenWatch::~OpenWatch()
{
    ::close(fd_);
}

bool OpenWatch::opened() const
{
    alignas(inotify_event) char buffer[4096];
    return ::read(fd_, buffer, sizeof buffer) > 0;
}

bool markedExclusive(const std::string& devicePath)
{
    const int fd = ::open(devicePath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == EBUSY)
        return true;
    if (fd < 0)
        throw std::runtime_error("cannot open " + devicePath);
    int exclusive = 0;
    const bool read = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0;
    ::close(fd);
    if (!read)
        throw std::runtime_error("cannot read the exclusive-open flag of " + devicePath);
    return exclusive != 0;
}

PortDir::PortDir()
{
    hadPrevious_ = qEnvironmentVariableIsSet(varlo::PortDirVariable);
    previous_ = qgetenv(varlo::PortDirVariable);
    qputenv(varlo::PortDirVariable, dir_.path().toLocal8Bit());
}

PortDir::~PortDir()
{
    if (hadPrevious_)
        qputenv(varlo::PortDirVariable, previous_);
    else
        qunsetenv(varlo::PortDirVariable);
}
