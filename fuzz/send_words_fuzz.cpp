// Hostile words for varlo-send: the input read as a script, whole and in pieces, and its bytes
// split at blanks into a command line. Nothing may crash; a script gives the same steps or the
// same refusals however it arrives; a plan holds only commands the instrument decodes, due in
// order within the longest run; what the program would print of a refusal holds no control
// byte; and the words of a script line that is one step mean that step on the command line.

#include "fuzz/fuzz_check.h"

#include "protocol/command_decoding.h"
#include "send/send_lines.h"
#include "send/send_options.h"
#include "send/send_plan.h"
#include "send/send_script.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace varlo;
using namespace varlo::send;

void checkShown(const Refusal& refusal)
{
    const std::string line = errorLine(refusal.message);
    FUZZ_CHECK(line.ends_with('\n'));
    for (const char c : std::string_view(line).substr(0, line.size() - 1))
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

void checkPlan(const std::vector<Step>& steps)
{
    const auto planned = planCommands(steps, {}, std::chrono::milliseconds(50));
    if (const Refusal* refusal = refusalOf(planned)) {
        checkShown(*refusal);
        return;
    }
    const auto& commands = std::get<std::vector<PlannedCommand>>(planned);
    FUZZ_CHECK(!commands.empty() && commands.size() <= MaxPlannedCommands);
    Duration previous{};
    for (const PlannedCommand& command : commands) {
        FUZZ_CHECK(isValidCommand(command.command));
        FUZZ_CHECK(command.due >= previous);
        previous = command.due;
    }
    FUZZ_CHECK(previous <= MaxRunTime);
}

std::vector<std::string> blankSeparated(std::string_view text)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (end > at)
            words.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const ScriptSteps whole = parseScript(text, "fuzz.txt");
    ScriptReader reader("fuzz.txt");
    const std::size_t piece = size == 0 ? 1 : data[0] % 7 + 1;
    for (std::size_t at = 0; at < size; at += piece)
        reader.add(text.substr(at, piece));
    const ScriptSteps pieces = reader.finish();
    if (const auto* refusals = std::get_if<std::vector<Refusal>>(&whole)) {
        const auto* same = std::get_if<std::vector<Refusal>>(&pieces);
        FUZZ_CHECK(same && same->size() == refusals->size());
        FUZZ_CHECK(refusals->size() <= MaxReportedLines + 2);
        for (std::size_t i = 0; i < refusals->size(); ++i) {
            FUZZ_CHECK((*same)[i].message == (*refusals)[i].message);
            FUZZ_CHECK((*refusals)[i].message.starts_with("fuzz.txt:"));
            checkShown((*refusals)[i]);
        }
    } else {
        FUZZ_CHECK(!std::get_if<std::vector<Refusal>>(&pieces));
        FUZZ_CHECK(std::get<std::vector<Step>>(pieces) == std::get<std::vector<Step>>(whole));
        checkPlan(std::get<std::vector<Step>>(whole));
    }

    std::vector<std::string> arguments = blankSeparated(text);
    const Checked<Request> request = parseCommandLine(arguments);
    if (const Refusal* refusal = refusalOf(request))
        checkShown(*refusal);
    else if (const auto& step = std::get<Request>(request).step)
        checkPlan({*step});

    // One script line that is one step: the same step from the command line. (A script may
    // open with a byte-order mark; a command line has none.)
    const bool oneLine = text.find_first_of("\n\r\t#") == std::string_view::npos &&
                         !text.starts_with("\xEF\xBB\xBF");
    const auto* steps = std::get_if<std::vector<Step>>(&whole);
    if (oneLine && steps && steps->size() == 1 && !arguments.empty() &&
        arguments.front() != "sweep" && arguments.front() != "wait") {
        arguments.insert(arguments.begin(), "--dry-run");
        const Checked<Request> same = parseCommandLine(arguments);
        FUZZ_CHECK(!refusalOf(same));
        FUZZ_CHECK(std::get<Request>(same).step == steps->front());
    }
    return 0;
}
