#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace varlo::scpi {

// Whether an oscilloscope sweeps the generator for a Bode plot, as its steps (C1:BSWV FRQ
// settings) reach the line: it sweeps while its last step is at most Window old. A scope
// dwells on a step while it measures both channels, longest at the lowest frequencies (a
// few periods of 10 Hz and its own settling), which is seconds; ten of them without a step
// is a sweep that ended or was stopped.
class SweepWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds Window{10};

    // The frequency the generator took with the last step, and how many steps the sweep has
    // taken since it began.
    struct Sweep {
        std::int64_t wholeHz = 0;
        int hundredths = 0;
        int steps = 0;
        friend bool operator==(const Sweep&, const Sweep&) = default;
    };

    // A step reached the line at `at`, the generator now at this frequency.
    void stepSent(std::int64_t wholeHz, int hundredths, Clock::time_point at);
    // The sweep going on at `now`, if one is.
    std::optional<Sweep> sweepAt(Clock::time_point now) const;

private:
    std::optional<Sweep> last_;
    Clock::time_point lastAt_;
};

} // namespace varlo::scpi
