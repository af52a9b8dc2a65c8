#include "send/option_table.h"

#include "send/send_values.h"

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

// A frequency's number takes its unit when that is written apart, as the next word.
void joinUnitApart(std::string& number, std::span<const std::string> words, std::size_t& next)
{
    const char last = number.empty() ? '\0' : number.back();
    const bool endsInDigits = (last >= '0' && last <= '9') || last == '.';
    if (endsInDigits && next < words.size() && isFrequencyUnit(words[next]))
        number += words[next++];
}

} // namespace

ReadWords readWords(std::span<const std::string> words, bool scriptLine)
{
    ReadWords read;
    for (std::size_t next = 0; next < words.size();) {
        const std::string& word = words[next++];
        if (!word.starts_with("--") && !rowNamed(word, scriptLine)) {
            OptionWord own{nullptr, word, {}};
            joinUnitApart(own.text, words, next);
            read.words.push_back(std::move(own));
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
        const auto takeValue = [&](std::string value) {
            if (row->frequencies)
                joinUnitApart(value, words, next);
            option.values.push_back(std::move(value));
        };
        if (equals != std::string::npos) {
            if (row->values == 0) {
                read.refusal = Refusal{name + " takes no value"};
                break;
            }
            takeValue(word.substr(equals + 1));
        }
        const auto valueFollows = [&] {
            const std::string& word = words[next];
            return !row->valueOptional || !(word.starts_with('-') || readsAsFrequency(word) ||
                                            waveformNamed(word).has_value());
        };
        while (static_cast<int>(option.values.size()) < row->values && next < words.size() &&
               valueFollows())
            takeValue(words[next++]);
        if (static_cast<int>(option.values.size()) < row->values && !row->valueOptional) {
            read.refusal = Refusal{name + " needs " + std::string(row->needs)};
            break;
        }
        read.words.push_back(std::move(option));
    }
    return read;
}

} // namespace varlo::send
