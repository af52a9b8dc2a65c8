#include "program/exit_status.h"
#include "program/quit_on_signal.h"
#include "program/refusal.h"
#include "send/send_lines.h"
#include "send/send_options.h"
#include "send/send_plan.h"
#include "send/send_run.h"
#include "send/send_script.h"

#include <QCoreApplication>

#include <cstdio>
#include <string>
#include <vector>

using namespace varlo;
using namespace varlo::send;

namespace {

// The steps of the run: the script's, or the one step of the command line.
ScriptSteps requestedSteps(const Request& request)
{
    if (!request.scriptFile)
        return std::vector<Step>{*request.step};
    return readScriptFile(*request.scriptFile);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varlo-send"));

    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const Checked<Request> parsed = parseCommandLine(arguments);
    if (const Refusal* refusal = refusalOf(parsed))
        return refuse(escapedText(refusal->message));
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

    const ScriptSteps steps = requestedSteps(request);
    if (const auto* refusals = std::get_if<std::vector<Refusal>>(&steps)) {
        for (const Refusal& refusal : *refusals)
            complain(refusal.message);
        return exit_status::Usage;
    }
    const auto planned =
        planCommands(std::get<std::vector<Step>>(steps), request.settings, request.gap);
    if (const Refusal* refusal = refusalOf(planned))
        return refuse(escapedText(refusal->message));
    const auto& commands = std::get<std::vector<PlannedCommand>>(planned);

    if (request.dryRun)
        return printCommands(request, commands);
    // Until here nothing is open, and a signal ends the program at once, also while a script
    // is read from standard input. From here on it stops the run between two commands.
    const varlo::QuitOnSignal quitOnSignal;
    return sendCommands(request, commands, quitOnSignal);
}
