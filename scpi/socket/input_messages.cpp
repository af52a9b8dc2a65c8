#include "scpi/socket/input_messages.h"

namespace varlo::scpi {

void InputMessages::add(std::string_view bytes)
{
    pending_.append(bytes);
    dropOverlong();
}

std::optional<ProgramMessage> InputMessages::next()
{
    const std::size_t end = pending_.find('\n');
    if (end == std::string::npos) {
        dropOverlong();
        return std::nullopt;
    }
    ProgramMessage line{pending_.substr(0, end), false};
    pending_.erase(0, end + 1);
    if (!line.text.empty() && line.text.back() == '\r')
        line.text.pop_back();
    if (discarding_ || line.text.size() > MaxMessageBytes) {
        discarding_ = false;
        return ProgramMessage{{}, true};
    }
    return line;
}

bool InputMessages::hasMessage() const
{
    return pending_.find('\n') != std::string::npos;
}

// An unfinished line already past the limit (and its CR) can only end too long: what has
// come of it is thrown away, and so is the rest of it up to its LF.
void InputMessages::dropOverlong()
{
    if (pending_.size() > MaxMessageBytes + 1 && pending_.find('\n') == std::string::npos) {
        pending_.clear();
        discarding_ = true;
    }
}

} // namespace varlo::scpi
