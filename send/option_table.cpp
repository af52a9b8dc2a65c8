#include "option_table.h"

#include <algorithm>

namespace varlo::send {

namespace {

const OptionRow* rowNamed(std::string_view name, bool scriptLine)
{
    const auto row = std::ranges::find_if(OptionTable, [&](const OptionRow& row) {
        return (row.name == name || (!row.alias.empty() && row.alias == name)) &&
               (row.stepOption || !scriptLine);
    });
    return row == std::end(OptionTable) ? nullptr : &*row;
}

} // namespace

ReadWords readWords(std::span<const std::string> words, bool scriptLine)
{
    ReadWords read;
    for (std::size_t next = 0; next < words.size();) {
        const std::string& word = words[next++];
        if (!word.starts_with("--") && !rowNamed(word, scriptLine)) {
            read.words.push_back({nullptr, word, {}});
            continue;
        }
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const OptionRow* row = rowNamed(name, scriptLine);
        if (!row) {
            read.refusal = Refusal{"unknown option " + name};
            break;
        }
        OptionWord option{row, std::string(row->name), {}};
        if (equals != std::string::npos) {
            if (row->values == 0) {
                read.refusal = Refusal{name + " takes no value"};
                break;
            }
            option.values.push_back(word.substr(equals + 1));
        }
        while (static_cast<int>(option.values.size()) < row->values && next < words.size())
            option.values.push_back(words[next++]);
        if (static_cast<int>(option.values.size()) < row->values) {
            read.refusal = Refusal{name + " needs " + std::string(row->needs)};
            break;
        }
        read.words.push_back(std::move(option));
    }
    return read;
}

} // namespace varlo::send
