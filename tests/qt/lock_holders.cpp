#include "lock_holders.h"

#include <fstream>
#include <stdexcept>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reads the child's one-line answer; the child writes it once it has done its part.
std::string readAnswer(int fd)
{
    std::string answer;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        answer.push_back(c);
    return answer;
}

void endChild(pid_t& pid, int& release)
{
    if (release >= 0)
        ::close(release);
    release = -1;
    if (pid > 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    pid = -1;
}

} // namespace

FlockingChild::FlockingChild(const std::string& devicePath, Hold how)
{
    int answer[2];
    int release[2];
    if (::pipe(answer) != 0 || ::pipe(release) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // Only async-signal-safe calls from here on.
        ::close(answer[0]);
        ::close(release[1]);
        const int fd = ::open(devicePath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        const bool locked = fd >= 0 && (how == Hold::Flock ? ::flock(fd, LOCK_EX | LOCK_NB)
                                                           : ::ioctl(fd, TIOCEXCL)) == 0;
        const char* reply = locked ? "1\n" : "0\n";
        (void)!::write(answer[1], reply, 2);
        char c;
        while (::read(release[0], &c, 1) > 0) {
        }
        ::_exit(0);
    }
    ::close(answer[1]);
    ::close(release[0]);
    release_ = release[1];
    holding_ = readAnswer(answer[0]) == "1";
    ::close(answer[0]);
}

FlockingChild::~FlockingChild()
{
    endChild(pid_, release_);
}

SecondVarlo::SecondVarlo(int port, std::optional<uid_t> asUser)
{
    const std::string portText = std::to_string(port);
    int answer[2];
    int release[2];
    if (::pipe(answer) != 0 || ::pipe(release) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // The holder answers on its stdout and keeps the port until its stdin ends.
        ::dup2(answer[1], 1);
        ::dup2(release[0], 0);
        ::close(answer[0]);
        ::close(answer[1]);
        ::close(release[0]);
        ::close(release[1]);
        if (asUser &&
            (::setgroups(0, nullptr) != 0 || ::setgid(*asUser) != 0 || ::setuid(*asUser) != 0))
            ::_exit(126);
        ::execl(VARLO_PORT_HOLDER, VARLO_PORT_HOLDER, portText.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(answer[1]);
    ::close(release[0]);
    release_ = release[1];
    const std::string reply = readAnswer(answer[0]);
    if (reply == "0")
        reason_ = readAnswer(answer[0]);
    ::close(answer[0]);
    openResult_ = reply.empty() ? -1 : std::stoi(reply);
}

SecondVarlo::~SecondVarlo()
{
    endChild(pid_, release_);
}

pid_t endedProcessId()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

std::string ownProgramName()
{
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}
