#pragma once

#include "serial/line_settings.h"

#include <chrono>
#include <cstddef>

namespace varlo {

// Characters the line carries per second at these settings: a start bit, the data bits, the
// parity bit if any and the stop bits make one character.
double charactersPerSecond(const LineSettings& settings);

// What still waits to go down the line, as far as the link can tell. A pseudo-terminal shows
// none of its queue and a UART's count can lag, so the queue is modelled as draining at the
// line's own rate, and the device's count is taken where it says more. New commands are
// refused while they would leave more than about a second of line time queued, so the
// generator never lags far behind the panel.
class LineQueue {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr double MaxQueuedSeconds = 1.0;
    // However slow the line, it may hold one whole command of the panel's (eleven characters
    // at most) and a little more.
    static constexpr double MinQueuedCharacters = 16;

    // A fresh line, empty now, at this rate.
    void restart(double charactersPerSecond, Clock::time_point now);
    void setRate(double charactersPerSecond) { rate_ = charactersPerSecond; }

    // Whether `size` more characters fit now, with `reported` queued as the device counts
    // them.
    bool takes(std::size_t size, std::size_t reported, Clock::time_point now);
    // The line has taken `size` characters.
    void add(std::size_t size, Clock::time_point now);
    // The characters still queued at `now`, as far as the model has drained them.
    double queuedAt(Clock::time_point now) const;

private:
    void drainTo(Clock::time_point now);

    double rate_ = 960;
    double queued_ = 0; // characters, as of at_
    Clock::time_point at_{};
};

} // namespace varlo
