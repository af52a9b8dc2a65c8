#include "send/send_run.h"

#include "program/exit_status.h"
#include "program/quit_on_signal.h"
#include "protocol/command_wording.h"
#include "scpi_client/server_link.h"
#include "send/send_lines.h"
#include "send/send_list.h"
#include "serial/chosen_port.h"
#include "serial/comm_error_text.h"
#include "serial/port_diagnosis.h"
#include "serial/serial_link.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include <poll.h>
#include <unistd.h>

namespace varlo::send {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto ProgressEvery = std::chrono::milliseconds(50);
// Runs shorter than this show no progress.
constexpr auto ProgressFrom = std::chrono::seconds(1);

// Sleeps until the time has come, woken at once by a signal; false when one arrived first.
bool waitUntil(Clock::time_point due)
{
    pollfd signalled{QuitOnSignal::descriptor(), POLLIN, 0};
    while (QuitOnSignal::received() == 0) {
        const auto left = due - Clock::now();
        if (left <= Clock::duration::zero())
            return true;
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        const auto nanoseconds =
            std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds);
        const timespec timeout{static_cast<time_t>(seconds.count()),
                               static_cast<long>(nanoseconds.count())};
        ::ppoll(&signalled, 1, &timeout, nullptr);
    }
    return false;
}

// One progress line on standard error, redrawn in place, for long runs on a terminal.
class Progress {
public:
    Progress(const Request& request, const std::vector<PlannedCommand>& commands)
        : commands_(commands), shown_(!request.quiet && ::isatty(STDERR_FILENO) == 1 &&
                                      commands.back().due >= ProgressFrom)
    {
    }
    ~Progress() { clear(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // The command lines go to the same terminal: the progress line makes way for them.
    void beforeLine()
    {
        if (sharesTerminal_)
            clear();
    }

    void sent(std::size_t index)
    {
        const auto now = Clock::now();
        if (!shown_ || (drawn_ && now - lastDrawn_ < ProgressEvery && index + 1 < commands_.size()))
            return;
        const Duration left = commands_.back().due - commands_[index].due;
        std::fprintf(
            stderr, "\r%s\x1b[K",
            progressText(index + 1, commands_.size(), commands_[index].shown, left).c_str());
        std::fflush(stderr);
        drawn_ = true;
        lastDrawn_ = now;
    }

    void clear()
    {
        if (drawn_)
            std::fputs("\r\x1b[K", stderr);
        drawn_ = false;
    }

private:
    const std::vector<PlannedCommand>& commands_;
    bool shown_;
    bool sharesTerminal_ = ::isatty(STDOUT_FILENO) == 1;
    bool drawn_ = false;
    Clock::time_point lastDrawn_;
};

void printCommand(const Request& request, const std::string& command)
{
    if (request.quiet)
        return;
    std::printf("%s\n", commandLine(command).c_str());
    std::fflush(stdout);
}

std::string lastHandedOver(const std::vector<PlannedCommand>& commands, std::size_t sent)
{
    if (sent == 0)
        return "no command was handed over";
    const std::string& command = commands[sent - 1].command;
    return "the last command handed over whole was " + commandLine(command) + " (" +
           std::to_string(sent) + " of " + std::to_string(commands.size()) + ")";
}

} // namespace

void complain(std::string_view message)
{
    std::fputs(errorLine(message).c_str(), stderr);
}

namespace {

// Hands one command over whole: nullopt, or why it was refused, as the complaint says it.
using HandOver = std::function<std::optional<std::string>(const std::string& command)>;

// Sends the commands on schedule through `handOver`, printing a line for each one handed over
// whole, and ends with `close`'s failure, if any. Returns the exit status.
int runCommands(const Request& request, const std::vector<PlannedCommand>& commands,
                const HandOver& handOver, const std::function<std::optional<std::string>()>& close)
{
    Progress progress(request, commands);
    const Clock::time_point start = Clock::now();
    Clock::time_point previous = start;
    Clock::time_point sweepStart = start;
    std::size_t sent = 0;
    for (const PlannedCommand& planned : commands) {
        const Clock::time_point due = (planned.fromSweepStart ? sweepStart : previous) +
                                      std::chrono::duration_cast<Clock::duration>(planned.wait);
        if (!waitUntil(due))
            break;
        const Clock::time_point handed = Clock::now();
        if (const std::optional<std::string> why = handOver(planned.command)) {
            // A signal gives up a write still waiting for a stalled line, before any of it
            // was written.
            if (QuitOnSignal::received() != 0)
                break;
            progress.clear();
            complain(*why + "; " + lastHandedOver(commands, sent));
            return exit_status::LineFailed;
        }
        ++sent;
        previous = handed;
        if (!planned.fromSweepStart)
            sweepStart = handed;
        if (!request.quiet)
            progress.beforeLine();
        printCommand(request, planned.command);
        progress.sent(sent - 1);
        if (QuitOnSignal::received() != 0)
            break;
    }
    progress.clear();

    const std::optional<std::string> closed = close();
    if (const int signalNumber = QuitOnSignal::received(); signalNumber != 0) {
        complain(std::string("stopped by ") + signalName(signalNumber) + "; " +
                 lastHandedOver(commands, sent));
        return exit_status::SignalBase + signalNumber;
    }
    if (closed) {
        complain("the line failed at the close: " + *closed + "; " +
                 lastHandedOver(commands, sent));
        return exit_status::LineFailed;
    }
    return exit_status::Success;
}

int sendThroughPort(const Request& request, const std::vector<PlannedCommand>& commands)
{
    SerialLink link;
    if (const std::int16_t code = openChosenPort(link, *request.port, request.settings);
        code != comm_code::None) {
        const auto why = link.lastOpenFailure();
        // A port that is not there may be one of the others: the list shows them all.
        const bool missing = why && why->state == PortState::Missing;
        complain("cannot open " + openFailureText(link, *request.port, code) +
                 (missing ? "; varlo-send --list shows every port and its state" : ""));
        return exit_status::PortNotOpened;
    }
    link.setStopDescriptor(QuitOnSignal::descriptor());
    const auto codeText = [](std::int16_t code) -> std::optional<std::string> {
        if (code == comm_code::None)
            return std::nullopt;
        return commErrorText(code);
    };
    return runCommands(
        request, commands,
        [&](const std::string& command) -> std::optional<std::string> {
            if (const std::optional<std::string> why = codeText(link.setOutput(command)))
                return "the line failed: " + *why;
            return std::nullopt;
        },
        [&] { return codeText(link.ClosePort()); });
}

// The same run through varlo-scpi: not reaching it is the port that did not open, and a
// command it refuses, or its going away, ends the run as the line failing does; settings
// refused for another client's lock say who holds it.
int sendThroughServer(const Request& request, const std::vector<PlannedCommand>& commands,
                      const QuitOnSignal& quitOnSignal)
{
    ServerLink link(*request.server);
    // A signal gives up a wait for the server at once, as it does a wait for the line.
    QObject::connect(&quitOnSignal, &QuitOnSignal::arrived, &link, &ServerLink::stopWaiting);
    const auto failureText =
        [&](const std::optional<ServerFailure>& failure) -> std::optional<std::string> {
        if (!failure)
            return std::nullopt;
        return serverFailureText(link.server(), *failure);
    };
    if (const std::optional<std::string> unreached = failureText(link.open());
        unreached && QuitOnSignal::received() == 0) {
        complain(*unreached);
        return exit_status::PortNotOpened;
    }
    return runCommands(
        request, commands,
        [&](const std::string& command) -> std::optional<std::string> {
            const std::optional<ServerFailure> failure = link.setOutput(command);
            if (!failure || failure->cause == ServerFailure::Cause::Locked)
                return failureText(failure);
            return "the line failed: " + *failureText(failure);
        },
        [&] {
            link.close();
            return std::optional<std::string>();
        });
}

} // namespace

int sendCommands(const Request& request, const std::vector<PlannedCommand>& commands,
                 const QuitOnSignal& quitOnSignal)
{
    if (request.server)
        return sendThroughServer(request, commands, quitOnSignal);
    return sendThroughPort(request, commands);
}

int listPorts()
{
    for (const std::string& line : portListLines())
        std::printf("%s\n", escapedText(line).c_str());
    return exit_status::Success;
}

int printCommands(const Request& request, const std::vector<PlannedCommand>& commands)
{
    for (const PlannedCommand& planned : commands)
        printCommand(request, planned.command);
    return exit_status::Success;
}

} // namespace varlo::send
