#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varlo {

// Ways other serial programs on this machine say "this port is mine", so that a port in use
// is left alone before anything on it (its line settings included) is touched.

// Where serial programs leave "LCK..<device>" files: the usual system lock directories and
// the temporary directory ($TMPDIR, else /tmp).
std::vector<std::string> lockFileDirectories();

// The names under which programs announce a device in a lock file: the path below /dev with
// "/" turned into "_" ("ttyUSB0", "pts_3"), and the bare file name ("3").
std::vector<std::string> lockFileNames(const std::string& devicePath);

// The process named in a lock file's content: a decimal pid (leading blanks allowed, more
// lines may follow), or a pid stored as a binary int of exactly that size.
std::optional<long> lockFilePid(std::string_view content);

// A lock file that announces a device: where it lies, the process it names (none when its
// content names no process) and whether that process is running.
struct LockFile {
    std::string path;
    std::optional<long> pid;
    bool live = false;
};

// Every lock file for the device in the directories, in the order they are searched.
std::vector<LockFile> lockFilesFor(const std::string& devicePath,
                                   const std::vector<std::string>& directories);

// An exclusive, non-blocking flock on the device, taken through a descriptor of its own and
// held until released. Terminal programs that flock their port and a second Varlo see the
// port as taken; unlike the terminal's exclusive-open flag this also binds root. A device
// whose exclusive-open flag is set is not held either, also where the flag lets this user in
// (root): the flag is another program's claim.
class DeviceClaim {
public:
    enum class Outcome { Held, Missing, NotATerminal, Busy, Exclusive, NoAccess };

    DeviceClaim() = default;
    explicit DeviceClaim(const std::string& devicePath);
    ~DeviceClaim();
    DeviceClaim(DeviceClaim&& other) noexcept;
    DeviceClaim& operator=(DeviceClaim&& other) noexcept;
    DeviceClaim(const DeviceClaim&) = delete;
    DeviceClaim& operator=(const DeviceClaim&) = delete;

    // What the attempt found (Busy: another flock; Exclusive: the exclusive-open flag); stays
    // as it was after release().
    Outcome outcome() const { return outcome_; }
    // The errno behind Busy, Exclusive or NoAccess, 0 otherwise.
    int error() const { return error_; }
    bool held() const { return fd_ >= 0; }
    void release();

private:
    int fd_ = -1;
    Outcome outcome_ = Outcome::Missing;
    int error_ = 0;
};

} // namespace varlo
