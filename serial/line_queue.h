#pragma once

#include "serial/line_settings.h"

#include <chrono>
#include <cstddef>

namespace varlo {

// The one model of the line's pace. Every program paces its commands by it: the panel's
// write and varlo-scpi's through the serial link, which keeps it, and varlo-send's schedule
// through lineTime. It governs because it is the one that sees both what the line can do
// (its rate per character at the settings in use) and what the device itself says is still
// queued.

// Characters the line carries per second at these settings: a start bit, the data bits, the
// parity bit if any and the stop bits make one character.
double charactersPerSecond(const LineSettings& settings);

// How long the line takes to carry that many characters at these settings.
std::chrono::microseconds lineTime(const LineSettings& settings, std::size_t characters);

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

    // The most characters the line may hold queued: a second of line time, and never less
    // than MinQueuedCharacters.
    double capacity() const;
    // Whether `size` more characters fit now, with `reported` queued as the device counts
    // them.
    bool takes(std::size_t size, std::size_t reported, Clock::time_point now);
    // The line has taken `size` characters.
    void add(std::size_t size, Clock::time_point now);
    // The characters still queued at `now`, as far as the model has drained them.
    double queuedAt(Clock::time_point now) const;
    // How long from `now` until no more than `characters` are queued, with `reported` queued
    // as the device counts them: zero when that is so already.
    Clock::duration timeUntilAtMost(double characters, std::size_t reported, Clock::time_point now);

private:
    void drainTo(Clock::time_point now);
    void takeReport(std::size_t reported, Clock::time_point now);

    double rate_ = 960;
    double queued_ = 0; // characters, as of at_
    Clock::time_point at_{};
};

} // namespace varlo
