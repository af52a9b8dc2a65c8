#pragma once

#include <string>
#include <variant>

namespace varlo {

// Why a word, a line or a whole request is refused, in the words the user reads after the
// program's name.
struct Refusal {
    std::string message;
};

// A value read from the user's words, or why there is none.
template <class T> using Checked = std::variant<T, Refusal>;

template <class T> const Refusal* refusalOf(const Checked<T>& checked)
{
    return std::get_if<Refusal>(&checked);
}

} // namespace varlo
