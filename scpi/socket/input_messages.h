#pragma once

#include "scpi/language/program_message.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace varlo::scpi {

// A client's bytes cut into lines at LF, a CR before it dropped. It holds at most one
// unfinished line of MaxMessageBytes and what was added last: a longer line is thrown away as
// it comes, up to its end, and then reported once as too long.
class InputMessages {
public:
    // Add more only once next() has nothing left: then the buffer stays small.
    void add(std::string_view bytes);
    std::optional<ProgramMessage> next();
    // A whole line waits to be taken.
    bool hasMessage() const;

private:
    void dropOverlong();

    std::string pending_;
    bool discarding_ = false;
};

} // namespace varlo::scpi
