#pragma once

#include "send/send_steps.h"
#include "serial/line_settings.h"

#include <span>
#include <string>
#include <vector>

namespace varlo::send {

// One command of a run and when it is due. A command is due `wait` after the previous
// command was handed over, or, for the later steps of a sweep, `wait` after the sweep's
// first step, so that the steps keep their schedule whatever a single write costs.
struct PlannedCommand {
    std::string command;
    Duration wait{};
    bool fromSweepStart = false;
    Duration due{};    // from the start of the run, on schedule
    std::string shown; // the setting in short, for progress: "12.5 kHz", "duty 60 %"
    friend bool operator==(const PlannedCommand&, const PlannedCommand&) = default;
};

// The steps as commands, checked whole. A command holds the line for the gap, a sweep step
// for its dwell; a wait adds to that pause. No command is due before the line has carried the
// one before it. Refused: a dwell shorter than one command takes on the line, a run of no
// command, of more than MaxPlannedCommands or longer than MaxRunTime.
Checked<std::vector<PlannedCommand>> planCommands(std::span<const Step> steps,
                                                  const LineSettings& settings, Duration gap);

inline constexpr std::size_t MaxPlannedCommands = 100'000;
// Far beyond any bench run, and far from where the clock's sums overflow.
inline constexpr Duration MaxRunTime = std::chrono::hours(24 * 365);

// The refusal of a run of more than MaxPlannedCommands.
std::string tooManyCommands();

// The frequencies of one pass of a sweep, START and STOP exact, evenly spaced in hertz or in
// the logarithm of hertz.
std::vector<double> sweepFrequencies(const Sweep& sweep);

// How long the line takes to carry a text of that many characters.
Duration lineTime(const LineSettings& settings, std::size_t characters);

} // namespace varlo::send
