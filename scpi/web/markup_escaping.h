#pragma once

#include <string>
#include <string_view>

namespace varlo::scpi::web {

// The text with &, <, >, " and ' written as entities, which XML and HTML read alike: safe as
// an element's text and as an attribute's value.
std::string markupEscaped(std::string_view text);

} // namespace varlo::scpi::web
