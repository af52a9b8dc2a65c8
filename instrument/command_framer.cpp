#include "instrument/command_framer.h"

#include "protocol/command_decoding.h"

#include <array>
#include <utility>

namespace varlo::instrument {

namespace {

constexpr std::array<std::size_t, 2> CommandLengths{10, 11};

} // namespace

std::vector<std::string> splitBurst(std::string_view burst)
{
    // best[i]: most bytes of burst[i..] that valid commands can cover; step[i]: the length of
    // the command that starts at i in that split, or 0 when byte i is left over.
    const std::size_t n = burst.size();
    std::vector<std::size_t> best(n + 1, 0);
    std::vector<std::size_t> step(n + 1, 0);
    for (std::size_t i = n; i-- > 0;) {
        best[i] = best[i + 1];
        for (const std::size_t length : CommandLengths) {
            if (i + length > n || !isValidCommand(burst.substr(i, length)))
                continue;
            // A command beats leaving the byte over at equal cover; the longer command has to
            // cover strictly more to beat the shorter one.
            const std::size_t cover = best[i + length] + length;
            if (cover > best[i] || (cover == best[i] && step[i] == 0)) {
                best[i] = cover;
                step[i] = length;
            }
        }
    }

    std::vector<std::string> pieces;
    std::string leftover;
    for (std::size_t i = 0; i < n;) {
        if (step[i] == 0) {
            leftover.push_back(burst[i]);
            ++i;
            continue;
        }
        if (!leftover.empty())
            pieces.push_back(std::exchange(leftover, {}));
        pieces.emplace_back(burst.substr(i, step[i]));
        i += step[i];
    }
    if (!leftover.empty())
        pieces.push_back(std::move(leftover));
    return pieces;
}

std::vector<std::string> CommandFramer::append(std::string_view bytes)
{
    burst_.append(bytes);
    if (burst_.size() < MaxBurst)
        return {};
    return endBurst();
}

std::vector<std::string> CommandFramer::endBurst()
{
    std::vector<std::string> pieces = splitBurst(burst_);
    burst_.clear();
    return pieces;
}

} // namespace varlo::instrument
