#include "serial/port_diagnosis.h"

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

// For a pseudo-terminal's slave "/dev/pts/N": N, which the descriptors of its master name.
std::optional<std::string> ptyIndex(const std::string& device)
{
    const std::string prefix = "/dev/pts/";
    if (device.rfind(prefix, 0) != 0 || device.size() == prefix.size())
        return std::nullopt;
    return device.substr(prefix.size());
}

// Whether the descriptor is the master of pseudo-terminal `index`: the kernel tells a master's
// index in the descriptor's info ("tty-index:\t3").
bool isMasterOf(const std::filesystem::path& process, const std::string& fd,
                const std::string& index)
{
    std::ifstream info(process / "fdinfo" / fd);
    std::string field;
    std::string value;
    while (info >> field >> value)
        if (field == "tty-index:")
            return value == index;
    return false;
}

struct OpenHolder {
    std::optional<long> pid;
    bool everyProcessSeen = true; // a user may not look at another user's descriptors
};

// Another process with the device open, among those whose descriptors this user may read.
// The far end of a pseudo-terminal, which holds its master (and may keep the slave open so
// that the line stays up between users), is the other end of the line, not a user of it.
OpenHolder openHolder(const std::string& device)
{
    namespace fs = std::filesystem;
    OpenHolder found;
    const std::string self = std::to_string(::getpid());
    const std::optional<std::string> index = ptyIndex(device);
    // Processes come and go while they are listed: every step takes an error code instead
    // of throwing.
    std::error_code error;
    for (fs::directory_iterator process("/proc", error), end; !error && process != end;
         process.increment(error)) {
        const std::string pidText = process->path().filename().string();
        if (pidText == self || pidText.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code fdError;
        fs::directory_iterator fd(process->path() / "fd", fdError);
        if (fdError == std::errc::permission_denied)
            found.everyProcessSeen = false;
        bool holds = false;
        bool farEnd = false;
        for (; !fdError && fd != end; fd.increment(fdError)) {
            std::error_code linkError;
            const std::string target = fs::read_symlink(fd->path(), linkError).string();
            if (target == device)
                holds = true;
            else if (index && (target == "/dev/ptmx" || target == "/dev/pts/ptmx") &&
                     isMasterOf(process->path(), fd->path().filename().string(), *index))
                farEnd = true;
        }
        if (holds && !farEnd) {
            found.pid = std::atol(pidText.c_str());
            return found;
        }
    }
    return found;
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

// A lock file that keeps the port out of use though no running process is behind it: one
// that names no process (it may be another program's, in a form this one cannot read), or
// one of an ended process that this user cannot take away as Qt's own lock would.
bool blockedByLockFile(PortDiagnosis& diagnosis, const std::vector<LockFile>& locks)
{
    for (const auto& lock : locks) {
        if (!lock.pid) {
            diagnosis.state = PortState::NamelessLock;
            diagnosis.lockFile = lock.path;
            diagnosis.lockRemovable = removable(lock.path);
            return true;
        }
        if (!lock.live && !removable(lock.path)) {
            diagnosis.state = PortState::StaleLock;
            diagnosis.lockFile = lock.path;
            diagnosis.holderPid = lock.pid;
            return true;
        }
    }
    return false;
}

// The device is taken, by a flock or by its exclusive-open flag: who holds it, from the
// kernel's flock table or the open descriptors. A flag with no holder to be found is said as
// it is, or, where a lock file explains more, as that lock file.
void explainTaken(PortDiagnosis& diagnosis, const std::string& device, bool flocked,
                  const std::vector<LockFile>& locks)
{
    struct stat status {};
    std::optional<long> pid;
    if (::stat(device.c_str(), &status) == 0)
        pid = flockHolder(status);
    OpenHolder holder;
    if (!pid) {
        holder = openHolder(device);
        pid = holder.pid;
    }
    if (pid || flocked) {
        setHolder(diagnosis, pid);
        return;
    }
    if (blockedByLockFile(diagnosis, locks))
        return;
    diagnosis.state = PortState::MarkedExclusive;
    diagnosis.everyProcessSeen = holder.everyProcessSeen;
}

} // namespace

PortCheck checkPort(const std::string& devicePath, const std::vector<std::string>& lockDirectories)
{
    PortCheck check;
    PortDiagnosis& diagnosis = check.diagnosis;
    diagnosis.device = devicePath;
    // Lock files and holders name the device itself, not the link that leads to it.
    char* resolved = ::realpath(devicePath.c_str(), nullptr);
    if (!resolved) {
        if (errno == ELOOP)
            diagnosis.state = PortState::BrokenLink;
        else if (errno == EACCES)
            explainNoAccess(diagnosis, devicePath, errno);
        else
            diagnosis.state = PortState::Missing;
        return check;
    }
    check.device = resolved;
    std::free(resolved);
    const std::string& device = check.device;

    const auto locks = lockFilesFor(device, lockDirectories);
    for (const auto& lock : locks) {
        if (lock.live) {
            setHolder(diagnosis, lock.pid);
            diagnosis.lockFile = lock.path;
            return check;
        }
    }
    check.claim = DeviceClaim(device);
    switch (check.claim.outcome()) {
    case DeviceClaim::Outcome::Missing:
        diagnosis.state = PortState::Missing;
        return check;
    case DeviceClaim::Outcome::NotATerminal:
        diagnosis.state = PortState::NotATerminal;
        return check;
    case DeviceClaim::Outcome::Busy:
    case DeviceClaim::Outcome::Exclusive:
        explainTaken(diagnosis, device, check.claim.outcome() == DeviceClaim::Outcome::Busy, locks);
        return check;
    case DeviceClaim::Outcome::NoAccess:
        explainNoAccess(diagnosis, device, check.claim.error());
        return check;
    case DeviceClaim::Outcome::Held:
        break;
    }
    // A holder that set no flag and took no lock still has the line: two programs writing
    // to one line garble each other's commands.
    if (const OpenHolder holder = openHolder(device); holder.pid) {
        check.claim.release();
        setHolder(diagnosis, holder.pid);
        return check;
    }
    if (blockedByLockFile(diagnosis, locks))
        check.claim.release();
    return check;
}

PortDiagnosis diagnosePort(const std::string& devicePath,
                           const std::vector<std::string>& lockDirectories)
{
    return checkPort(devicePath, lockDirectories).diagnosis;
}

} // namespace varlo
