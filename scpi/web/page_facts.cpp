#include "scpi/web/page_facts.h"

#include "scpi/web/markup_escaping.h"

namespace varlo::scpi::web {

namespace {

std::string markupOf(const std::variant<std::string, std::vector<std::string>>& shown)
{
    if (const auto* text = std::get_if<std::string>(&shown))
        return markupEscaped(*text);
    std::string items;
    for (const std::string& item : std::get<std::vector<std::string>>(shown))
        items += "<li><code>" + markupEscaped(item) + "</code></li>";
    return items;
}

} // namespace

std::string pageWithFacts(std::string_view page, const std::vector<PageFact>& facts)
{
    std::string out(page);
    for (const PageFact& fact : facts) {
        const std::size_t attribute = out.find(" id=\"" + fact.id + '"');
        if (attribute == std::string::npos)
            continue;
        const std::size_t start = out.find('>', attribute);
        const std::size_t end = out.find('<', start);
        if (start == std::string::npos || end == std::string::npos)
            continue;
        out.replace(start + 1, end - start - 1, markupOf(fact.shown));
    }
    return out;
}

} // namespace varlo::scpi::web
