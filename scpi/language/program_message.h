#pragma once

#include <cstddef>
#include <string>

namespace varlo::scpi {

// The longest program message a client may send, without its end: what a socket, a web page
// or any other way in holds of one before it gives up reading it.
inline constexpr std::size_t MaxMessageBytes = 4096;

// One program message of a client as it came, whatever carried it: its text without its end,
// or only the mark that it was longer than MaxMessageBytes, which is answered -102 unread.
struct ProgramMessage {
    std::string text;
    bool tooLong = false;
};

} // namespace varlo::scpi
