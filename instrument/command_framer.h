#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace varlo::instrument {

// Cuts the byte stream from the panel into command texts. Commands carry no terminator, so
// bytes are collected into a burst until the line falls idle (the caller's timer says when);
// a burst is then split into pieces of exactly the command lengths that decode, and whatever
// is left over between them comes out as pieces of its own, which will not decode.
class CommandFramer {
public:
    // A burst that grows this long without an idle gap is split at once, so a line that never
    // falls silent cannot make the framer hold an unbounded amount.
    static constexpr std::size_t MaxBurst = 4096;

    // Adds received bytes. Normally gives nothing; gives the pieces of the burst when it has
    // reached MaxBurst.
    std::vector<std::string> append(std::string_view bytes);

    // The line has been idle: gives the pieces of the burst collected so far and starts a new one.
    std::vector<std::string> endBurst();

    bool burstPending() const { return !burst_.empty(); }

private:
    std::string burst_;
};

// The pieces of one burst, in order: the split that covers the most bytes with valid commands
// (at equal cover, the one whose first command is the shorter), undecodable runs between them.
std::vector<std::string> splitBurst(std::string_view burst);

} // namespace varlo::instrument
