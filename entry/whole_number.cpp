#include "entry/whole_number.h"

#include <algorithm>
#include <charconv>

namespace varlo {

std::optional<int> wholeNumber(std::string_view text, int least, int most)
{
    if (text.empty() || !std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < least || value > most)
        return std::nullopt;
    return value;
}

} // namespace varlo
