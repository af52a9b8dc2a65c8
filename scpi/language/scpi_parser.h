#pragma once

#include "scpi/language/scpi_status.h"

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace varlo::scpi {

// Headers, mnemonics and numbers are ASCII whatever the locale.
inline bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// One node of a header as received: "SOUR1" is the name SOUR with the suffix 1.
struct Mnemonic {
    std::string name;
    int suffix = 0; // 0 when none is given; -1 for one too large to read
    friend bool operator==(const Mnemonic&, const Mnemonic&) = default;
};

// A parameter as received, blanks around it removed; a quoted string without its quotes.
struct Parameter {
    std::string text;
    bool quoted = false;
    friend bool operator==(const Parameter&, const Parameter&) = default;
};

// One command of a line, its header completed from the root.
struct ParsedCommand {
    // A common command (*IDN) is one node whose name starts with "*".
    std::vector<Mnemonic> header;
    bool query = false;
    std::vector<Parameter> parameters;
    friend bool operator==(const ParsedCommand&, const ParsedCommand&) = default;
};

using ParsedUnit = std::variant<ParsedCommand, Error>;

// The commands of one line, in order. ";" separates them; a header that does not start
// with ":" continues from the path of the command before it (its header without its last
// node), a leading ":" starts from the root, and common commands neither use nor change
// the path. A command that cannot be read is -102 and the others still count. Empty
// commands are skipped.
std::vector<ParsedUnit> parseLine(std::string_view line);

} // namespace varlo::scpi
