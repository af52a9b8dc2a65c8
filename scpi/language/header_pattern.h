#pragma once

#include "scpi/language/scpi_parser.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varlo::scpi {

// A header written as SCPI manuals write it: "[SOURce#:]FREQuency[:CW|:FIXed]". Brackets
// make a node optional, "|" separates the forms of a node, "#" lets a node carry the numeric
// suffix 1 (given or left out). Each form is taken whole or in its short form, the capitals,
// in either case.
class HeaderPattern {
public:
    explicit HeaderPattern(std::string_view written);

    // Whether a received header, completed from the root, is one this pattern names.
    bool matches(std::span<const Mnemonic> header) const;

private:
    struct Node {
        std::vector<std::string> forms;
        bool optional = false;
        bool suffix = false;
    };

    static bool nodeMatches(const Node& node, const Mnemonic& mnemonic);
    static bool matchesFrom(std::span<const Node> nodes, std::span<const Mnemonic> header);

    std::vector<Node> nodes_;
};

} // namespace varlo::scpi
