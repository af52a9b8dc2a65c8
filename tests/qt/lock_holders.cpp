#include "tests/qt/lock_holders.h"

#include "tests/helper_program.h"

#include <fstream>
#include <stdexcept>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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
        // Nothing of the parent's: a pty master it inherited would make it the line's far end.
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != answer[1] && fd != release[0])
                ::close(fd);
        const int fd = ::open(devicePath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        const bool locked = fd >= 0 && (how == Hold::Flock ? ::flock(fd, LOCK_EX | LOCK_NB)
                                        : how == Hold::ExclusiveOpen ? ::ioctl(fd, TIOCEXCL)
                                                                     : 0) == 0;
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

namespace {

// The build tree may sit where another user cannot reach it (a checkout in /root): a holder
// started as that user runs from a copy in a directory anyone may enter.
std::string copyForAnyone(const std::string& program)
{
    char folder[] = "/tmp/varlo-holder-XXXXXX";
    if (::mkdtemp(folder) == nullptr || ::chmod(folder, 0755) != 0)
        throw std::runtime_error("cannot make a folder for the holder");
    const std::string copy = std::string(folder) + "/varlo_port_holder";
    {
        std::ifstream from(program, std::ios::binary);
        std::ofstream to(copy, std::ios::binary);
        to << from.rdbuf();
        if (!from || !to)
            throw std::runtime_error("cannot copy " + program);
    }
    if (::chmod(copy.c_str(), 0755) != 0)
        throw std::runtime_error("cannot make the holder's copy runnable");
    return copy;
}

} // namespace

SecondVarlo::SecondVarlo(int port, std::optional<uid_t> asUser)
{
    const std::string portText = std::to_string(port);
    std::string holder = helperProgram(VARLO_PORT_HOLDER);
    if (asUser)
        holder = copyForAnyone(holder);
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
        if (asUser && (::chdir("/") != 0 || ::setgroups(0, nullptr) != 0 ||
                       ::setgid(*asUser) != 0 || ::setuid(*asUser) != 0))
            ::_exit(126);
        ::execl(holder.c_str(), holder.c_str(), portText.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(answer[1]);
    ::close(release[0]);
    release_ = release[1];
    const std::string reply = readAnswer(answer[0]);
    if (asUser) {
        // The holder has started (or failed to): its copy is no longer needed on disk.
        ::unlink(holder.c_str());
        ::rmdir(holder.substr(0, holder.rfind('/')).c_str());
    }
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
