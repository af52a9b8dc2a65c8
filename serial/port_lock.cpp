#include "serial/port_lock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varlo {

std::vector<std::string> lockFileDirectories()
{
    std::vector<std::string> directories = {
        "/var/lock",  "/run/lock", "/var/spool/lock", "/var/spool/locks", "/var/spool/uucp",
        "/etc/locks", "/tmp",
    };
    // Qt's own serial lock falls back to the temporary directory.
    if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp && std::string(tmp) != "/tmp")
        directories.emplace_back(tmp);
    return directories;
}

std::vector<std::string> lockFileNames(const std::string& devicePath)
{
    std::vector<std::string> names;
    std::string belowDev = devicePath;
    if (belowDev.rfind("/dev/", 0) == 0)
        belowDev.erase(0, 5);
    const std::string base = devicePath.substr(devicePath.find_last_of('/') + 1);
    for (char& c : belowDev)
        if (c == '/')
            c = '_';
    if (!belowDev.empty() && belowDev.front() != '_')
        names.push_back(belowDev);
    if (!base.empty() && base != belowDev)
        names.push_back(base);
    return names;
}

std::optional<long> lockFilePid(std::string_view content)
{
    std::size_t i = 0;
    while (i < content.size() && (content[i] == ' ' || content[i] == '\t'))
        ++i;
    std::size_t digitsEnd = i;
    while (digitsEnd < content.size() && content[digitsEnd] >= '0' && content[digitsEnd] <= '9')
        ++digitsEnd;
    const bool tokenEnds = digitsEnd == content.size() || content[digitsEnd] == '\n' ||
                           content[digitsEnd] == ' ' || content[digitsEnd] == '\r';
    if (digitsEnd > i && digitsEnd - i <= 9 && tokenEnds) {
        long pid = 0;
        for (std::size_t k = i; k < digitsEnd; ++k)
            pid = pid * 10 + (content[k] - '0');
        return pid > 0 ? std::optional<long>(pid) : std::nullopt;
    }
    // The old binary form: the pid as the writer's int, nothing else.
    if (content.size() == sizeof(int)) {
        int pid = 0;
        std::memcpy(&pid, content.data(), sizeof pid);
        if (pid > 0)
            return pid;
    }
    return std::nullopt;
}

namespace {

bool processRunning(long pid)
{
    // EPERM: it exists but belongs to someone else.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::optional<std::string> smallFileContent(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string content;
    char buffer[128];
    file.read(buffer, sizeof buffer);
    content.assign(buffer, static_cast<std::size_t>(file.gcount()));
    return content;
}

} // namespace

std::vector<LockFile> lockFilesFor(const std::string& devicePath,
                                   const std::vector<std::string>& directories)
{
    std::vector<LockFile> found;
    const auto names = lockFileNames(devicePath);
    for (const auto& directory : directories) {
        for (const auto& name : names) {
            LockFile lock{directory + "/LCK.." + name, std::nullopt, false};
            if (::access(lock.path.c_str(), F_OK) != 0)
                continue;
            if (const auto content = smallFileContent(lock.path))
                lock.pid = lockFilePid(*content);
            lock.live = lock.pid && processRunning(*lock.pid);
            found.push_back(std::move(lock));
        }
    }
    return found;
}

DeviceClaim::DeviceClaim(const std::string& devicePath)
{
    // The file type first: what is no character device is never opened, since an open alone
    // can disturb it (the reader of a FIFO would see end-of-file).
    struct stat status {};
    if (::stat(devicePath.c_str(), &status) != 0) {
        outcome_ = errno == EACCES ? Outcome::NoAccess : Outcome::Missing;
        error_ = outcome_ == Outcome::NoAccess ? errno : 0;
        return;
    }
    if (!S_ISCHR(status.st_mode)) {
        outcome_ = Outcome::NotATerminal;
        return;
    }
    // Write-only like the link itself; non-blocking, so a line without carrier cannot hold up
    // the window; never as controlling terminal.
    fd_ = ::open(devicePath.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        switch (errno) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EIO: // a serial device node with no UART behind it
            outcome_ = Outcome::Missing;
            break;
        case EBUSY: // another process set the exclusive-open flag
            outcome_ = Outcome::Exclusive;
            error_ = errno;
            break;
        default:
            outcome_ = Outcome::NoAccess;
            error_ = errno;
            break;
        }
        return;
    }
    if (!::isatty(fd_)) {
        release();
        outcome_ = Outcome::NotATerminal;
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        release();
        outcome_ = error == EWOULDBLOCK ? Outcome::Busy : Outcome::NoAccess;
        error_ = error;
        return;
    }
    // Root opens a terminal whatever its flag says; the flag still is another program's.
    int exclusive = 0;
    if (::ioctl(fd_, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
        release();
        outcome_ = Outcome::Exclusive;
        error_ = EBUSY;
        return;
    }
    outcome_ = Outcome::Held;
}

DeviceClaim::~DeviceClaim()
{
    release();
}

DeviceClaim::DeviceClaim(DeviceClaim&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), outcome_(std::exchange(other.outcome_, Outcome::Missing)),
      error_(std::exchange(other.error_, 0))
{
}

DeviceClaim& DeviceClaim::operator=(DeviceClaim&& other) noexcept
{
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        outcome_ = std::exchange(other.outcome_, Outcome::Missing);
        error_ = std::exchange(other.error_, 0);
    }
    return *this;
}

void DeviceClaim::release()
{
    if (fd_ >= 0) {
        ::close(fd_); // closing the only descriptor of the description drops the flock
        fd_ = -1;
    }
}

} // namespace varlo
