#include "scpi/web/request_head.h"

#include <algorithm>

namespace varlo::scpi::web {

namespace {

bool sameLetters(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

bool containsWord(std::string_view list, std::string_view word)
{
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string_view::npos)
            end = list.size();
        std::string_view item = list.substr(start, end - start);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (sameLetters(item, word))
            return true;
        start = end + 1;
    }
    return false;
}

bool isTokenCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text)
{
    return !text.empty() && std::ranges::all_of(text, isTokenCharacter);
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool readRequestLine(std::string_view line, RequestHead& head)
{
    const std::size_t first = line.find(' ');
    const std::size_t second = line.find(' ', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos)
        return false;
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, second - first - 1);
    const std::string_view version = line.substr(second + 1);
    if (!isToken(method) || !target.starts_with('/') ||
        target.find_first_of(" \t") != std::string_view::npos)
        return false;
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return false;
    head.method = method;
    head.path = target.substr(0, target.find('?'));
    head.minorVersion = version.back() - '0';
    return true;
}

} // namespace

std::optional<std::string> RequestHead::field(std::string_view name) const
{
    for (const auto& [key, value] : fields)
        if (sameLetters(key, name))
            return value;
    return std::nullopt;
}

bool RequestHead::hasBody() const
{
    const std::optional<std::string> length = field("Content-Length");
    return field("Transfer-Encoding").has_value() || (length && *length != "0");
}

bool RequestHead::keepsConnection() const
{
    const std::optional<std::string> connection = field("Connection");
    return minorVersion == 1 && !(connection && containsWord(*connection, "close"));
}

bool RequestHead::asksForWebSocket() const
{
    const std::optional<std::string> upgrade = field("Upgrade");
    const std::optional<std::string> connection = field("Connection");
    return upgrade && containsWord(*upgrade, "websocket") && connection &&
           containsWord(*connection, "upgrade");
}

std::string RequestHead::upgradeFault() const
{
    if (method != "GET")
        return "a WebSocket opening not by GET";
    if (minorVersion != 1)
        return "a WebSocket opening in HTTP/1.0";
    if (!field("Sec-WebSocket-Key"))
        return "a WebSocket opening without Sec-WebSocket-Key";
    if (field("Sec-WebSocket-Version") != "13")
        return "a WebSocket opening not of version 13";
    return {};
}

std::variant<RequestHead, HeadReading> readRequestHead(std::string_view bytes)
{
    RequestHead head;
    std::size_t at = 0;
    bool first = true;
    while (true) {
        const std::size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos)
            return HeadReading::Incomplete;
        std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (first) {
            // Empty lines before a request are allowed and skipped.
            if (line.empty())
                continue;
            if (!readRequestLine(line, head))
                return HeadReading::Malformed;
            first = false;
            continue;
        }
        if (line.empty())
            break;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || !isToken(line.substr(0, colon)))
            return HeadReading::Malformed;
        head.fields.emplace_back(line.substr(0, colon), trimmed(line.substr(colon + 1)));
    }
    head.length = at;
    return head;
}

} // namespace varlo::scpi::web
