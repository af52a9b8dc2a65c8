#pragma once

#include "protocol/generator_limits.h"
#include "send/option_table.h"
#include "send/send_values.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace varlo::send {

// What a step sets besides the frequency. What it does not name takes the panel's start-up
// value: sine, attenuator off, duty cycle not adjusted.
struct Output {
    Waveform waveform = StartUpWaveform;
    bool attenuatorOn = StartUpAttenuatorOn;
    std::optional<int> dutyPercent; // sent first as a duty command when given
    friend bool operator==(const Output&, const Output&) = default;
};

struct OneShot {
    double hz = 0;
    Output output;
    friend bool operator==(const OneShot&, const OneShot&) = default;
};

struct Sweep {
    double startHz = 0;
    double stopHz = 0;
    int steps = 0;
    bool log = false;
    Duration dwell = std::chrono::milliseconds(100);
    int repeat = 1;
    Output output;
    friend bool operator==(const Sweep&, const Sweep&) = default;
};

struct Wait {
    Duration time{};
    friend bool operator==(const Wait&, const Wait&) = default;
};

using Step = std::variant<OneShot, Sweep, Wait>;

inline constexpr int MaxSweepSteps = 100'000;

// The commands a step gives: one or two for a one-shot, each pass of a sweep and its duty
// command, none for a wait.
std::int64_t commandsOf(const Step& step);

// One step from the words read for it, in any order:
//   FREQUENCY [WAVEFORM] [--attenuator on|off] [--duty N]
//   --sweep START STOP --steps N [--log] [--dwell TIME] [--repeat N] [WAVEFORM] [...]
// A word of its own that starts with a letter is taken for a WAVEFORM, any other for a
// FREQUENCY.
// The words hold only step options and words of their own; `unread` is the refusal that
// stopped their reading, given when no word before it is refused first.
Checked<Step> stepFrom(std::span<const OptionWord> words, const std::optional<Refusal>& unread);

// The same from a script line's words, read against the option table.
Checked<Step> parseStepWords(std::span<const std::string> words);

} // namespace varlo::send
