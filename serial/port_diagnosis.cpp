#include "serial/port_diagnosis.h"

#include "serial/port_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace varlo {

namespace {

std::string programName(long pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// The process holding an flock on the file, from the kernel's table of locks, whose lines
// read "1: FLOCK  ADVISORY  WRITE 4242 00:19:5 0 EOF" (device in hex, inode in decimal).
std::optional<long> flockHolder(const struct stat& device)
{
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string id, type, mode, access, where;
        long pid = 0;
        if (!(fields >> id >> type) || type != "FLOCK")
            continue; // blocked waiters show "->" here
        if (!(fields >> mode >> access >> pid >> where) || pid <= 0)
            continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) == 3 &&
            major == ::major(device.st_dev) && minor == ::minor(device.st_dev) &&
            inode == device.st_ino)
            return pid;
    }
    return std::nullopt;
}

// Another process with the device open, among those whose descriptors this user may read:
// the holder of the terminal's exclusive-open flag keeps no other trace.
std::optional<long> openedBy(const std::string& device)
{
    namespace fs = std::filesystem;
    const std::string self = std::to_string(::getpid());
    // Processes come and go while they are listed: every step takes an error code instead
    // of throwing.
    std::error_code error;
    for (fs::directory_iterator process("/proc", error), end; !error && process != end;
         process.increment(error)) {
        const std::string pidText = process->path().filename().string();
        if (pidText == self || pidText.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code fdError;
        for (fs::directory_iterator fd(process->path() / "fd", fdError); !fdError && fd != end;
             fd.increment(fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd->path(), linkError).string() == device)
                return std::atol(pidText.c_str());
        }
    }
    return std::nullopt;
}

// Whether this user could take the lock file away as Qt's serial lock does: it opens the
// file for writing, then unlinks it (which a sticky directory allows only to owners).
bool removable(const std::string& path)
{
    const std::string directory = path.substr(0, path.find_last_of('/'));
    struct stat file {};
    struct stat dir {};
    if (::lstat(path.c_str(), &file) != 0 || ::stat(directory.c_str(), &dir) != 0)
        return true; // gone meanwhile
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 ||
        ::faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    const uid_t self = ::geteuid();
    return (dir.st_mode & S_ISVTX) == 0 || self == 0 || file.st_uid == self || dir.st_uid == self;
}

// The group whose members may write to the device, when there is one.
std::string writerGroup(const std::string& device)
{
    struct stat status {};
    if (::stat(device.c_str(), &status) != 0 || (status.st_mode & S_IWGRP) == 0)
        return {};
    const group* entry = ::getgrgid(status.st_gid);
    return entry ? entry->gr_name : std::string();
}

void setHolder(PortDiagnosis& diagnosis, std::optional<long> pid)
{
    diagnosis.state = PortState::Busy;
    diagnosis.holderPid = pid;
    if (pid)
        diagnosis.holderName = programName(*pid);
}

void explainBusy(PortDiagnosis& diagnosis, const std::string& device)
{
    struct stat status {};
    std::optional<long> pid;
    if (::stat(device.c_str(), &status) == 0)
        pid = flockHolder(status);
    if (!pid)
        pid = openedBy(device);
    setHolder(diagnosis, pid);
}

void explainNoAccess(PortDiagnosis& diagnosis, const std::string& device, int error)
{
    if (error == EACCES || error == EPERM) {
        diagnosis.state = PortState::PermissionDenied;
        diagnosis.group = writerGroup(device);
        return;
    }
    diagnosis.state = PortState::OpenFailed;
    diagnosis.detail = std::strerror(error);
}

} // namespace

PortDiagnosis diagnosePort(const std::string& devicePath,
                           const std::vector<std::string>& lockDirectories)
{
    PortDiagnosis diagnosis;
    diagnosis.device = devicePath;
    // Lock files and holders name the device itself, not the link that leads to it.
    char* resolved = ::realpath(devicePath.c_str(), nullptr);
    if (!resolved) {
        if (errno == EACCES)
            explainNoAccess(diagnosis, devicePath, errno);
        else
            diagnosis.state = PortState::Missing;
        return diagnosis;
    }
    const std::string device = resolved;
    std::free(resolved);
    // Known without opening it, so also where this user may not open it.
    struct stat status {};
    if (::stat(device.c_str(), &status) == 0 && !S_ISCHR(status.st_mode)) {
        diagnosis.state = PortState::NotATerminal;
        return diagnosis;
    }

    const auto locks = lockFilesFor(device, lockDirectories);
    for (const auto& lock : locks) {
        if (lock.live) {
            setHolder(diagnosis, lock.pid);
            diagnosis.lockFile = lock.path;
            return diagnosis;
        }
    }
    const DeviceClaim claim(device);
    switch (claim.outcome()) {
    case DeviceClaim::Outcome::Missing:
        diagnosis.state = PortState::Missing;
        return diagnosis;
    case DeviceClaim::Outcome::NotATerminal:
        diagnosis.state = PortState::NotATerminal;
        return diagnosis;
    case DeviceClaim::Outcome::Busy:
        explainBusy(diagnosis, device);
        return diagnosis;
    case DeviceClaim::Outcome::NoAccess:
        explainNoAccess(diagnosis, device, claim.error());
        return diagnosis;
    case DeviceClaim::Outcome::Held:
        break;
    }
    for (const auto& lock : locks) {
        if (!removable(lock.path)) {
            diagnosis.state = PortState::StaleLock;
            diagnosis.lockFile = lock.path;
            diagnosis.holderPid = lock.pid;
            return diagnosis;
        }
    }
    return diagnosis;
}

} // namespace varlo
