#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace varlo::scpi::web {

// A fact the welcome page shows in the element of that id: a text, or a list whose items are
// each shown as code (the resource strings). The page is served with its facts written in, and
// its script writes the same facts, pushed to it, into the same elements: one wording for both.
struct PageFact {
    std::string id;
    std::variant<std::string, std::vector<std::string>> shown;
    friend bool operator==(const PageFact&, const PageFact&) = default;
};

// The page with each fact, escaped, in place of what its element held: the text between the
// element's start tag and the next tag, which in the page is a dash or nothing. A fact whose
// element the page lacks is left out.
std::string pageWithFacts(std::string_view page, const std::vector<PageFact>& facts);

} // namespace varlo::scpi::web
