#include "instrument/pty/pseudo_terminal.h"

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace varlo {

namespace {

std::string systemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// No line discipline between the program's bytes and the master's; the program sets the line
// as it likes afterwards, a pty accepts whatever it asks for.
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

std::optional<gid_t> dialoutGroup()
{
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getgrnam_r("dialout", &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return found->gr_gid;
}

// As udev leaves a serial adapter: readable and writable by the group dialout only, so a
// program run by a member of dialout meets the permissions it meets on real hardware. Root
// may always; another owner only when it is in dialout itself; otherwise the device keeps the
// pty's own group and mode.
void setUpLikeAnAdapter(int slave)
{
    const std::optional<gid_t> dialout = dialoutGroup();
    if (!dialout || ::fchown(slave, static_cast<uid_t>(-1), *dialout) != 0)
        return;
    ::fchmod(slave, 0660);
}

// Replaces a leftover link of an earlier run in one step; anything that is not a link is
// left alone.
std::string publish(const std::string& slavePath, const std::string& linkPath)
{
    struct stat existing {};
    if (::lstat(linkPath.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode))
        return linkPath + " exists and is not a link; not replacing it";
    const std::string staging = linkPath + ".new." + std::to_string(::getpid());
    ::unlink(staging.c_str());
    if (::symlink(slavePath.c_str(), staging.c_str()) != 0)
        return systemError("cannot create " + staging);
    if (::rename(staging.c_str(), linkPath.c_str()) != 0) {
        const std::string error = systemError("cannot create " + linkPath);
        ::unlink(staging.c_str());
        return error;
    }
    return {};
}

} // namespace

PseudoTerminal::Opened PseudoTerminal::open(const std::string& linkPath, Slave slave)
{
    int master = -1;
    int slaveFd = -1;
    char name[256] = {};
    if (::openpty(&master, &slaveFd, name, nullptr, nullptr) != 0)
        return {std::nullopt, systemError("cannot create a pseudo-terminal")};
    makeRaw(slaveFd);
    setUpLikeAnAdapter(slaveFd);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slaveFd, F_SETFD, FD_CLOEXEC);
    if (slave == Slave::Released) {
        ::close(slaveFd);
        slaveFd = -1;
    }
    if (const std::string error = publish(name, linkPath); !error.empty()) {
        if (slaveFd >= 0)
            ::close(slaveFd);
        ::close(master);
        return {std::nullopt, error};
    }
    Opened opened;
    opened.terminal.emplace(PseudoTerminal(master, slaveFd, name, linkPath));
    return opened;
}

PseudoTerminal::PseudoTerminal(int master, int slave, std::string slavePath, std::string linkPath)
    : master_(master), slave_(slave), slavePath_(std::move(slavePath)),
      linkPath_(std::move(linkPath))
{
}

PseudoTerminal::PseudoTerminal(PseudoTerminal&& other) noexcept
    : master_(std::exchange(other.master_, -1)), slave_(std::exchange(other.slave_, -1)),
      slavePath_(std::move(other.slavePath_)), linkPath_(std::exchange(other.linkPath_, {}))
{
}

PseudoTerminal::~PseudoTerminal()
{
    if (slave_ >= 0)
        ::close(slave_);
    closeMaster();
}

void PseudoTerminal::closeMaster()
{
    // The name goes with the device, as an unplugged adapter's does: once its program lets go,
    // the system gives this terminal's number to the next pty made, and a program trying its
    // port again through a kept link would open that one. Only our own link: another terminal
    // may have taken the name over since.
    if (!linkPath_.empty()) {
        char target[256] = {};
        const ssize_t length = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == slavePath_)
            ::unlink(linkPath_.c_str());
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

} // namespace varlo
