#include "send/send_script.h"

#include "send/send_plan.h"

#include <array>
#include <cerrno>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varlo::send {

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

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
        const Checked<Duration> time = forOption("wait", parseTime(words[1]));
        if (const Refusal* refusal = refusalOf(time))
            return *refusal;
        return Wait{std::get<Duration>(time)};
    }
    if (words.front() == "sweep")
        words.front() = "--sweep";
    return parseStepWords(words);
}

// The file's descriptor, or why it cannot be read.
Checked<int> openScript(const std::string& file)
{
    if (file == "-")
        return STDIN_FILENO;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    const std::string cannot = "cannot read the script " + file;
    if (fd < 0)
        return Refusal{cannot + (errno == ENOENT   ? ": no such file"
                                 : errno == EACCES ? ": permission denied"
                                                   : ": not a readable file")};
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        ::close(fd);
        return Refusal{cannot + ": not a readable file"};
    }
    return fd;
}

} // namespace

bool ScriptReader::add(std::string_view bytes)
{
    while (!stopped_ && !bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        take(bytes.substr(0, end), end != std::string_view::npos);
        bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
    }
    return !stopped_;
}

ScriptSteps ScriptReader::finish()
{
    if (!stopped_ && !line_.empty())
        endLine();
    countUnreported();
    if (!refusals_.empty())
        return std::move(refusals_);
    return std::move(steps_);
}

void ScriptReader::take(std::string_view piece, bool lineEnds)
{
    bytes_ += piece.size() + (lineEnds ? 1 : 0);
    if (bytes_ > MaxScriptBytes)
        return stop("the script is longer than " + std::to_string(MaxScriptBytes >> 20) + " MiB");
    line_.append(piece);
    if (atStart_ && (line_.size() >= ByteOrderMark.size() || lineEnds)) {
        if (line_.starts_with(ByteOrderMark))
            line_.erase(0, ByteOrderMark.size());
        atStart_ = false;
    }
    if (line_.size() > MaxScriptLineBytes)
        return stop("the line is longer than " + std::to_string(MaxScriptLineBytes) + " bytes");
    if (!lineEnds)
        return;
    endLine();
    ++lineNumber_;
}

void ScriptReader::endLine()
{
    const std::string line = std::exchange(line_, {});
    std::vector<std::string> words = wordsOf(std::string_view(line).substr(0, line.find('#')));
    if (words.empty())
        return;
    Checked<Step> step = parseLine(std::move(words));
    if (const Refusal* refusal = refusalOf(step))
        return refuseLine(refusal->message);
    commands_ += commandsOf(std::get<Step>(step));
    if (commands_ > static_cast<std::int64_t>(MaxPlannedCommands))
        return stop(tooManyCommands());
    // Once a line is refused nothing will be sent: the steps are no longer kept.
    if (!refusals_.empty())
        return;
    const auto* wait = std::get_if<Wait>(&std::get<Step>(step));
    auto* lastWait = steps_.empty() ? nullptr : std::get_if<Wait>(&steps_.back());
    if (wait && lastWait)
        lastWait->time += wait->time;
    else
        steps_.push_back(std::get<Step>(std::move(step)));
}

void ScriptReader::refuseLine(const std::string& message)
{
    if (refusals_.size() == MaxReportedLines) {
        ++unreported_;
        return;
    }
    refusals_.push_back({fileName_ + ":" + std::to_string(lineNumber_) + ": " + message});
    steps_.clear();
}

void ScriptReader::stop(const std::string& message)
{
    countUnreported();
    refusals_.push_back({fileName_ + ":" + std::to_string(lineNumber_) + ": " + message});
    steps_.clear();
    stopped_ = true;
    line_.clear();
}

void ScriptReader::countUnreported()
{
    if (unreported_ > 0)
        refusals_.push_back({fileName_ + ": " + std::to_string(unreported_) + " more bad line" +
                             (unreported_ == 1 ? "" : "s")});
    unreported_ = 0;
}

ScriptSteps parseScript(std::string_view text, std::string_view fileName)
{
    ScriptReader reader(fileName);
    reader.add(text);
    return reader.finish();
}

ScriptSteps readScriptFile(const std::string& file)
{
    const Checked<int> opened = openScript(file);
    if (const Refusal* refusal = refusalOf(opened))
        return std::vector<Refusal>{*refusal};
    const int fd = std::get<int>(opened);
    ScriptReader reader(file);
    std::array<char, 64 * 1024> buffer{};
    bool failed = false;
    while (true) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            failed = got < 0;
            break;
        }
        if (!reader.add(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
            break;
    }
    if (fd != STDIN_FILENO)
        ::close(fd);
    if (failed)
        return std::vector<Refusal>{{"cannot read the script " + file + ": not a readable file"}};
    return reader.finish();
}

} // namespace varlo::send
