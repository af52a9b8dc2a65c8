#include "scpi/language/header_pattern.h"

#include "scpi/language/scpi_values.h"

namespace varlo::scpi {

HeaderPattern::HeaderPattern(std::string_view written)
{
    std::size_t i = 0;
    while (i < written.size()) {
        if (written[i] == ':') {
            ++i;
            continue;
        }
        Node node;
        std::string_view text;
        if (written[i] == '[') {
            const std::size_t close = written.find(']', i);
            text = written.substr(i + 1, close - i - 1);
            node.optional = true;
            i = close + 1;
        } else {
            const std::size_t end = written.find_first_of(":[", i);
            text = written.substr(i, end == std::string_view::npos ? end : end - i);
            i = end == std::string_view::npos ? written.size() : end;
        }
        while (!text.empty()) {
            const std::size_t bar = text.find('|');
            std::string_view form = text.substr(0, bar);
            text = bar == std::string_view::npos ? std::string_view() : text.substr(bar + 1);
            while (!form.empty() && form.front() == ':')
                form.remove_prefix(1);
            while (!form.empty() && form.back() == ':')
                form.remove_suffix(1);
            if (!form.empty() && form.back() == '#') {
                node.suffix = true;
                form.remove_suffix(1);
            }
            node.forms.emplace_back(form);
        }
        nodes_.push_back(std::move(node));
    }
}

bool HeaderPattern::matches(std::span<const Mnemonic> header) const
{
    return matchesFrom(nodes_, header);
}

bool HeaderPattern::nodeMatches(const Node& node, const Mnemonic& mnemonic)
{
    if (mnemonic.suffix != 0 && !(node.suffix && mnemonic.suffix == 1))
        return false;
    for (const std::string& form : node.forms)
        if (matchesMnemonic(mnemonic.name, form))
            return true;
    return false;
}

bool HeaderPattern::matchesFrom(std::span<const Node> nodes, std::span<const Mnemonic> header)
{
    if (nodes.empty())
        return header.empty();
    if (!header.empty() && nodeMatches(nodes.front(), header.front()) &&
        matchesFrom(nodes.subspan(1), header.subspan(1)))
        return true;
    return nodes.front().optional && matchesFrom(nodes.subspan(1), header);
}

} // namespace varlo::scpi
