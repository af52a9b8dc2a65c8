#pragma once

#include <optional>
#include <string_view>

namespace varlo {

// A whole number written as decimal digits only, from `least` to `most`: no sign, no blank,
// no point. nullopt for any other text, and for a number outside the range however long.
std::optional<int> wholeNumber(std::string_view text, int least, int most);

} // namespace varlo
