#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace varlo::scpi {

// Keeps a flood of one kind of journal line from filling the journal: the first line of a
// kind is written, the rest within Window only counted, and the count written as one line
// once the window has passed.
class JournalLimiter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds Window{10};

    // The lines to write now for a line of `kind` at `now`: the count of the kind's last
    // window, if any, then the line itself; nothing while the kind's window is open.
    std::vector<std::string> admit(const std::string& kind, const std::string& line,
                                   Clock::time_point now);
    // The counts of every kind whose window has passed by `now`.
    std::vector<std::string> due(Clock::time_point now);

private:
    struct Held {
        Clock::time_point opened;
        int held = 0;
    };
    static std::string countLine(const std::string& kind, int held);

    std::map<std::string, Held> windows_;
};

} // namespace varlo::scpi
