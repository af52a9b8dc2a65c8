#include "send_options.h"
#include "send_plan.h"
#include "send_run.h"
#include "send_script.h"

#include "program/exit_status.h"
#include "program/quit_on_signal.h"

#include <QCoreApplication>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace varlo;
using namespace varlo::send;

namespace {

int refuse(const std::string& message)
{
    std::fprintf(stderr, "varlo-send: %s\n", message.c_str());
    return exit_status::Usage;
}

std::optional<std::string> readScript(const std::string& file)
{
    if (file == "-")
        return std::string(std::istreambuf_iterator<char>(std::cin), {});
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The steps of the run: the script's, or the one step of the command line.
Checked<std::vector<Step>> requestedSteps(const Request& request)
{
    if (!request.scriptFile)
        return std::vector<Step>{*request.step};
    const auto text = readScript(*request.scriptFile);
    if (!text)
        return Refusal{"cannot read the script " + *request.scriptFile};
    return parseScript(*text, *request.scriptFile == "-" ? "-" : *request.scriptFile);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const Checked<Request> parsed = parseCommandLine(arguments);
    if (const Refusal* refusal = refusalOf(parsed))
        return refuse(refusal->message + " (see varlo-send --help)");
    const Request& request = std::get<Request>(parsed);

    switch (request.action) {
    case Request::Action::Help:
        std::fputs(usageText().c_str(), stdout);
        return exit_status::Success;
    case Request::Action::Version:
        std::printf("varlo-send %s\n", VARLO_SEND_VERSION);
        return exit_status::Success;
    case Request::Action::List:
        return listPorts();
    case Request::Action::Send:
        break;
    }

    const Checked<std::vector<Step>> steps = requestedSteps(request);
    if (const Refusal* refusal = refusalOf(steps))
        return refuse(refusal->message);
    const auto planned =
        planCommands(std::get<std::vector<Step>>(steps), request.settings, request.gap);
    if (const Refusal* refusal = refusalOf(planned))
        return refuse(refusal->message);
    const auto& commands = std::get<std::vector<PlannedCommand>>(planned);

    if (request.dryRun)
        return printCommands(request, commands);
    // Until here nothing is open, and a signal ends the program at once, also while a script
    // is read from standard input. From here on it stops the run between two commands.
    const varlo::QuitOnSignal quitOnSignal;
    return sendCommands(request, commands);
}
