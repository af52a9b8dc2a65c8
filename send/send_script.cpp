#include "send_script.h"

#include <string>

namespace varlo::send {

namespace {

std::vector<std::string> wordsOf(std::string_view line)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    while (true) {
        at = line.find_first_not_of(" \t\r", at);
        if (at == std::string_view::npos)
            break;
        const std::size_t end = line.find_first_of(" \t\r", at);
        words.emplace_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

Checked<Step> parseLine(std::vector<std::string> words)
{
    if (words.front() == "wait") {
        if (words.size() != 2)
            return Refusal{"wait takes one TIME, e.g. wait 500ms"};
        const Checked<Duration> time = parseTime(words[1]);
        if (const Refusal* refusal = refusalOf(time))
            return *refusal;
        return Wait{std::get<Duration>(time)};
    }
    if (words.front() == "sweep")
        words.front() = "--sweep";
    return parseStepWords(splitOptionValues(words));
}

} // namespace

Checked<std::vector<Step>> parseScript(std::string_view text, std::string_view fileName)
{
    std::vector<Step> steps;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line = line.substr(0, line.find('#'));
        std::vector<std::string> words = wordsOf(line);
        if (words.empty())
            continue;
        Checked<Step> step = parseLine(std::move(words));
        if (const Refusal* refusal = refusalOf(step))
            return Refusal{std::string(fileName) + ":" + std::to_string(lineNumber) + ": " +
                           refusal->message};
        steps.push_back(std::get<Step>(std::move(step)));
    }
    return steps;
}

} // namespace varlo::send
