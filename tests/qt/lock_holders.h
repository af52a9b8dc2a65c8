#pragma once

#include <string>

#include <sys/types.h>

// Other programs holding a serial port, for the tests that check it is left alone.

// A child process that holds an exclusive flock on a device, as several serial terminals
// do. The lock is held from construction until destruction.
class FlockingChild {
public:
    explicit FlockingChild(const std::string& devicePath);
    ~FlockingChild();
    FlockingChild(const FlockingChild&) = delete;
    FlockingChild& operator=(const FlockingChild&) = delete;

    bool holding() const { return holding_; }

private:
    pid_t pid_ = -1;
    int release_ = -1; // closing it lets the child end
    bool holding_ = false;
};

// A second Varlo: a process running the serial link that opens COMn (from this process's
// VARLO_PORT_DIR) and keeps it open until destruction.
class SecondVarlo {
public:
    explicit SecondVarlo(int port);
    ~SecondVarlo();
    SecondVarlo(const SecondVarlo&) = delete;
    SecondVarlo& operator=(const SecondVarlo&) = delete;

    // What OpenPort gave in that process: the port number, or 0.
    int openResult() const { return openResult_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    int openResult_ = -1;
};

// The pid of a process that has ended and been reaped.
pid_t endedProcessId();
