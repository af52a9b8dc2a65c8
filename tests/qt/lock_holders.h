#pragma once

#include <optional>
#include <string>

#include <sys/types.h>

// Other programs holding a serial port, for the tests that check it is left alone.

// A child process that holds a device as serial terminals do: with an exclusive flock, with
// the terminal's exclusive-open flag (which the kernel enforces on everyone but root), or only
// by having it open. The hold lasts from construction until destruction.
class FlockingChild {
public:
    enum class Hold { Flock, ExclusiveOpen, OpenOnly };

    explicit FlockingChild(const std::string& devicePath, Hold how = Hold::Flock);
    ~FlockingChild();
    FlockingChild(const FlockingChild&) = delete;
    FlockingChild& operator=(const FlockingChild&) = delete;

    bool holding() const { return holding_; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int release_ = -1; // closing it lets the child end
    bool holding_ = false;
};

// A second Varlo: a process running the serial link that opens COMn (from this process's
// VARLO_PORT_DIR) and keeps it open until destruction; as another user when one is given.
class SecondVarlo {
public:
    explicit SecondVarlo(int port, std::optional<uid_t> asUser = std::nullopt);
    ~SecondVarlo();
    SecondVarlo(const SecondVarlo&) = delete;
    SecondVarlo& operator=(const SecondVarlo&) = delete;

    // What OpenPort gave in that process: the port number, or 0.
    int openResult() const { return openResult_; }
    // Why the open failed, as the link words it; empty when it opened.
    const std::string& reason() const { return reason_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    int openResult_ = -1;
    std::string reason_;
};

// The pid of a process that has ended and been reaped.
pid_t endedProcessId();

// The program name the kernel shows for this process and its forks.
std::string ownProgramName();
