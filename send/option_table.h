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
    Connect,
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
    bool valueOptional;     // its value may be left out: the next word is a step's, or none
};

// clang-format off
inline constexpr OptionRow OptionTable[] = {
    {Option::Help,       "--help",       "-h", 0, "",               false, false, false},
    {Option::Version,    "--version",    "-v", 0, "",               false, false, false},
    {Option::List,       "--list",       "",   0, "",               false, false, false},
    {Option::DryRun,     "--dry-run",    "",   0, "",               false, false, false},
    {Option::Quiet,      "--quiet",      "",   0, "",               false, false, false},
    {Option::Port,       "--port",       "",   1, "a value",        false, false, false},
    {Option::Connect,    "--connect",    "",   1, "",               false, false, true},
    {Option::Settings,   "--settings",   "",   1, "a value",        false, false, false},
    {Option::Gap,        "--gap",        "",   1, "a value",        false, false, false},
    {Option::Script,     "--script",     "",   1, "a value",        false, false, false},
    {Option::Sweep,      "--sweep",      "",   2, "START and STOP", true,  true,  false},
    {Option::Steps,      "--steps",      "",   1, "a value",        true,  false, false},
    {Option::Log,        "--log",        "",   0, "",               true,  false, false},
    {Option::Dwell,      "--dwell",      "",   1, "a value",        true,  false, false},
    {Option::Repeat,     "--repeat",     "",   1, "a value",        true,  false, false},
    {Option::Attenuator, "--attenuator", "",   1, "a value",        true,  false, false},
    {Option::Duty,       "--duty",       "",   1, "a value",        true,  false, false},
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
// apart from a frequency's number ("12.5 kHz") joined to it. An option whose value may be left
// out takes the next word unless that starts with "-" or reads as a FREQUENCY or a WAVEFORM. The
// reading stops at the first word it cannot take (an option the table does not have, or not on a
// script line, or without its values); `refusal` then says why, after the words before it.
struct ReadWords {
    std::vector<OptionWord> words;
    std::optional<Refusal> refusal;
};
ReadWords readWords(std::span<const std::string> words, bool scriptLine);

} // namespace varlo::send
