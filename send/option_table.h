#pragma once

#include "entry/checked.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varlo::send {

// Every option of varlo-send, on the command line and on a script line alike.
enum class Option {
    Help,
    Version,
    List,
    DryRun,
    Quiet,
    Port,
    Settings,
    Gap,
    Script,
    Sweep,
    Steps,
    Log,
    Dwell,
    Repeat,
    Attenuator,
    Duty,
};

struct OptionRow {
    Option option;
    std::string_view name;  // "--port"
    std::string_view alias; // "-h", else empty
    int values;             // the words it takes after it
    std::string_view needs; // what a missing value is called: "--sweep needs START and STOP"
    bool stepOption;        // says what one step sends: also taken on a script line
    bool frequencies;       // its values are FREQUENCY words, which may have the unit apart
};

// clang-format off
inline constexpr OptionRow OptionTable[] = {
    {Option::Help,       "--help",       "-h", 0, "",               false, false},
    {Option::Version,    "--version",    "-v", 0, "",               false, false},
    {Option::List,       "--list",       "",   0, "",               false, false},
    {Option::DryRun,     "--dry-run",    "",   0, "",               false, false},
    {Option::Quiet,      "--quiet",      "",   0, "",               false, false},
    {Option::Port,       "--port",       "",   1, "a value",        false, false},
    {Option::Settings,   "--settings",   "",   1, "a value",        false, false},
    {Option::Gap,        "--gap",        "",   1, "a value",        false, false},
    {Option::Script,     "--script",     "",   1, "a value",        false, false},
    {Option::Sweep,      "--sweep",      "",   2, "START and STOP", true,  true},
    {Option::Steps,      "--steps",      "",   1, "a value",        true,  false},
    {Option::Log,        "--log",        "",   0, "",               true,  false},
    {Option::Dwell,      "--dwell",      "",   1, "a value",        true,  false},
    {Option::Repeat,     "--repeat",     "",   1, "a value",        true,  false},
    {Option::Attenuator, "--attenuator", "",   1, "a value",        true,  false},
    {Option::Duty,       "--duty",       "",   1, "a value",        true,  false},
};
// clang-format on

// One word read against the table: an option with its values, or a word of its own (a
// frequency, a waveform).
struct OptionWord {
    const OptionRow* row = nullptr; // null for a word of its own
    std::string text;               // the option's name as the table has it, or the word
    std::vector<std::string> values;
};

// The words read left to right, "--name=value" standing for "--name value", and a unit written
// apart from a frequency's number ("12.5 kHz") joined to it. The reading stops at the first
// word it cannot take (an option the table does not have, or not on a script line, or without
// its values); `refusal` then says why, after the words before it.
struct ReadWords {
    std::vector<OptionWord> words;
    std::optional<Refusal> refusal;
};
ReadWords readWords(std::span<const std::string> words, bool scriptLine);

} // namespace varlo::send
