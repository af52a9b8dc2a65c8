#pragma once

#include "scpi_client/server_address.h"
#include "send/send_steps.h"
#include "serial/line_settings.h"
#include "serial/port_choice.h"

#include <optional>
#include <span>
#include <string>

namespace varlo::send {

// What one run of the program is asked to do.
struct Request {
    enum class Action { Send, List, Help, Version };
    Action action = Action::Send;
    std::optional<PortChoice> port;
    std::optional<ServerAddress> server; // through varlo-scpi instead of a port
    LineSettings settings;               // the panel's 9600 N 8 1 unless --settings says otherwise
    Duration gap = std::chrono::milliseconds(50);
    bool dryRun = false;
    bool quiet = false;
    std::optional<std::string> scriptFile; // "-" for standard input
    std::optional<Step> step;              // the one-shot or the sweep, without a script
};

// The arguments after the program's name. Refusals are usage errors.
Checked<Request> parseCommandLine(std::span<const std::string> arguments);

// The text of --help.
std::string usageText();

} // namespace varlo::send
