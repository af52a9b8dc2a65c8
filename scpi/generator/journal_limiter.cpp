#include "scpi/generator/journal_limiter.h"

namespace varlo::scpi {

std::string JournalLimiter::countLine(const std::string& kind, int held)
{
    return std::to_string(held) + " more " + (held == 1 ? "line" : "lines") + " like \"" + kind +
           "\" in the last " + std::to_string(Window.count()) + " s";
}

std::vector<std::string> JournalLimiter::admit(const std::string& kind, const std::string& line,
                                               Clock::time_point now)
{
    std::vector<std::string> lines;
    const auto found = windows_.find(kind);
    if (found != windows_.end() && now - found->second.opened < Window) {
        ++found->second.held;
        return lines;
    }
    if (found != windows_.end() && found->second.held > 0)
        lines.push_back(countLine(kind, found->second.held));
    windows_[kind] = {now, 0};
    lines.push_back(line);
    return lines;
}

std::vector<std::string> JournalLimiter::due(Clock::time_point now)
{
    std::vector<std::string> lines;
    for (auto it = windows_.begin(); it != windows_.end();) {
        if (now - it->second.opened < Window) {
            ++it;
            continue;
        }
        if (it->second.held > 0)
            lines.push_back(countLine(it->first, it->second.held));
        it = windows_.erase(it);
    }
    return lines;
}

} // namespace varlo::scpi
