#pragma once

#include <optional>
#include <string>

namespace varlo {

// A pseudo-terminal standing in for a serial adapter. It is raw at 9600 8N1; its slave device
// is set up as udev sets up a real adapter (group dialout, mode 0660, where this process may;
// the owner stays whoever created it), and it is published as a symbolic link, e.g. "COMn" in
// a port directory, so a program opens it by name. The master is the far end of the line:
// what the program writes to the slave arrives there.
class PseudoTerminal {
public:
    // Whether this side keeps a descriptor of the slave open. Kept: the program may close and
    // reopen the port without the master seeing a hang-up. Released: the program is the
    // slave's only user, so closing the master hangs the line up for it.
    enum class Slave { Kept, Released };
    struct Opened;

    // Creates the pty and publishes it as linkPath. A link left there by an earlier run is
    // replaced in one step; anything else there is left alone and the open fails.
    static Opened open(const std::string& linkPath, Slave slave);

    // Removes the link if it is still this terminal's, and closes both sides.
    ~PseudoTerminal();
    PseudoTerminal(PseudoTerminal&& other) noexcept;
    PseudoTerminal& operator=(PseudoTerminal&&) = delete;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The master's descriptor, non-blocking and closed on exec; -1 once closed.
    int master() const { return master_; }
    // The slave's descriptor this side keeps (Slave::Kept), closed on exec; else -1.
    int slave() const { return slave_; }
    // Hangs the line up as an unplugged adapter would (with the slave released), and, as its
    // device node would, the link goes if it is still this terminal's.
    void closeMaster();

    const std::string& slavePath() const { return slavePath_; }
    const std::string& linkPath() const { return linkPath_; }

private:
    PseudoTerminal(int master, int slave, std::string slavePath, std::string linkPath);

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string linkPath_;
};

// Either a published terminal or the reason there is none.
struct PseudoTerminal::Opened {
    std::optional<PseudoTerminal> terminal;
    std::string error;
};

} // namespace varlo
