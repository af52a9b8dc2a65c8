#include "scpi/language/scpi_parser.h"

#include <charconv>
#include <optional>

namespace varlo::scpi {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Printable ASCII and tabs only: NUL, other control bytes and anything beyond ASCII (also
// valid UTF-8) have no place in a command.
bool readable(std::string_view text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c != '\t' && (byte < 0x20 || byte > 0x7E))
            return false;
    }
    return true;
}

// Cuts at the separator outside quoted strings. A string left open runs to the end, where it
// makes the last part unreadable.
std::vector<std::string_view> splitOutsideQuotes(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == separator) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

// "SOUR1" as SOUR and 1.
Mnemonic mnemonicOf(std::string_view word)
{
    std::size_t digits = word.size();
    while (digits > 0 && isDigit(word[digits - 1]))
        --digits;
    Mnemonic mnemonic{std::string(word.substr(0, digits)), 0};
    if (digits < word.size()) {
        const auto suffix = word.substr(digits);
        const auto [end, error] =
            std::from_chars(suffix.data(), suffix.data() + suffix.size(), mnemonic.suffix);
        if (error != std::errc() || end != suffix.data() + suffix.size())
            mnemonic.suffix = -1;
    }
    return mnemonic;
}

std::optional<Parameter> parameterOf(std::string_view text)
{
    text = trimmed(text);
    if (text.empty())
        return std::nullopt;
    if (text.front() != '"' && text.front() != '\'')
        return Parameter{std::string(text), false};
    // A quote inside a string is written twice.
    const char quote = text.front();
    std::string inner;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] != quote) {
            inner.push_back(text[i]);
            continue;
        }
        if (i + 1 == text.size())
            return Parameter{inner, true};
        if (text[i + 1] != quote)
            return std::nullopt;
        inner.push_back(quote);
        ++i;
    }
    return std::nullopt;
}

struct Header {
    bool fromRoot = false;
    bool common = false;
    std::vector<Mnemonic> nodes;
    bool query = false;
};

// The header at the start of the command; `rest` is left after it.
std::optional<Header> headerOf(std::string_view text, std::string_view& rest)
{
    Header header;
    std::size_t i = 0;
    if (i < text.size() && text[i] == '*') {
        ++i;
        while (i < text.size() && isLetter(text[i]))
            ++i;
        if (i == 1)
            return std::nullopt;
        header.common = true;
        header.nodes.push_back({std::string(text.substr(0, i)), 0});
    } else {
        if (i < text.size() && text[i] == ':') {
            header.fromRoot = true;
            ++i;
        }
        while (true) {
            const std::size_t start = i;
            if (i >= text.size() || !isLetter(text[i]))
                return std::nullopt;
            // A hyphen between letters, as in an oscilloscope's IDN-SGLT-PRI.
            while (i < text.size() &&
                   (isLetter(text[i]) || isDigit(text[i]) || text[i] == '_' ||
                    (text[i] == '-' && i + 1 < text.size() && isLetter(text[i + 1]))))
                ++i;
            header.nodes.push_back(mnemonicOf(text.substr(start, i - start)));
            if (i < text.size() && text[i] == ':') {
                ++i;
                continue;
            }
            break;
        }
    }
    if (i < text.size() && text[i] == '?') {
        header.query = true;
        ++i;
    }
    if (i < text.size() && !isBlank(text[i]))
        return std::nullopt;
    rest = text.substr(i);
    return header;
}

} // namespace

std::vector<ParsedUnit> parseLine(std::string_view line)
{
    std::vector<ParsedUnit> units;
    std::vector<Mnemonic> path;
    for (const std::string_view command : splitOutsideQuotes(line, ';')) {
        const std::string_view text = trimmed(command);
        if (text.empty())
            continue;
        std::string_view rest;
        const auto header = readable(text) ? headerOf(text, rest) : std::nullopt;
        if (!header) {
            units.emplace_back(errors::Syntax);
            continue;
        }
        ParsedCommand parsed;
        parsed.query = header->query;
        if (header->common) {
            parsed.header = header->nodes;
        } else {
            parsed.header = header->fromRoot ? std::vector<Mnemonic>{} : path;
            parsed.header.insert(parsed.header.end(), header->nodes.begin(), header->nodes.end());
            path.assign(parsed.header.begin(), parsed.header.end() - 1);
        }
        bool readAll = true;
        if (!trimmed(rest).empty()) {
            for (const std::string_view word : splitOutsideQuotes(rest, ',')) {
                auto parameter = parameterOf(word);
                if (!parameter) {
                    readAll = false;
                    break;
                }
                parsed.parameters.push_back(std::move(*parameter));
            }
        }
        if (readAll)
            units.emplace_back(std::move(parsed));
        else
            units.emplace_back(errors::Syntax);
    }
    return units;
}

} // namespace varlo::scpi
