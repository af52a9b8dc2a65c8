#pragma once

#include "instrument/pty/pseudo_terminal.h"

#include <QTemporaryDir>

#include <string>

#include <termios.h>

// A real pseudo-terminal published as COMn in the port directory, so the program opens it like any
// serial port and the test reads what it wrote at the master side.
class PtyPair {
public:
    // Creates the pty and the link dir/COMn -> slave device.
    PtyPair(const QString& dir, int port);
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // Everything that has arrived at the master within the time limit, once `count` bytes
    // have arrived or the limit has passed.
    std::string readAtMaster(std::size_t count, int timeoutMs = 2000);
    // Hangs up the line as an unplugged adapter would: closes the master.
    void closeMaster();
    // Whether a process holds the slave side open (the master then sees no hang-up).
    bool slaveHeldOpen() const;
    // The settings the line holds now, as the program set them on the slave: read at the
    // master, which needs no second open of a port the program may hold exclusively.
    termios lineSettings() const;

    const std::string& slavePath() const { return terminal_.slavePath(); }

private:
    varlo::PseudoTerminal terminal_;
};

// Watches a file for opens by anyone from construction on, so a test can tell that a port
// was never touched.
class OpenWatch {
public:
    explicit OpenWatch(const std::string& path);
    ~OpenWatch();
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    bool watching() const { return fd_ >= 0 && watch_ >= 0; }
    bool opened() const;

private:
    int fd_;
    int watch_;
};

// Whether the terminal carries the exclusive-open flag: as root, read through a descriptor of
// its own; as anyone else, the flag itself refuses the open.
bool markedExclusive(const std::string& devicePath);

// A fresh port directory for one test, removed with it; restores the variable's old value.
class PortDir {
public:
    PortDir();
    ~PortDir();
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};
