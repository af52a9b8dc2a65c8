#pragma once

#include "send_steps.h"
#include "serial/line_settings.h"

#include <optional>
#include <span>
#include <string>

namespace varlo::send {

// The port named by --port: COMn from the panel's table, or a device path.
struct PortChoice {
    int number = 0;         // 1..16 for COMn, else 0
    std::string devicePath; // a path such as /dev/ttyUSB0, else empty
    friend bool operator==(const PortChoice&, const PortChoice&) = default;
};

// What one run of the program is asked to do.
struct Request {
    enum class Action { Send, List, Help, Version };
    Action action = Action::Send;
    std::optional<PortChoice> port;
    std::string settingsText = PanelLineSettings; // blank-separated, as the panel writes it
    LineSettings settings;
    Duration gap = std::chrono::milliseconds(50);
    bool dryRun = false;
    bool quiet = false;
    std::optional<std::string> scriptFile; // "-" for standard input
    std::optional<Step> step;              // the one-shot or the sweep, without a script
};

// "COM3" (in either case) or a path containing "/".
Checked<PortChoice> parsePort(std::string_view text);

// --settings: the panel's "9600 N 8 1", or the same with commas for blanks ("9600,N,8,1").
Checked<LineSettings> parseSettingsOption(std::string_view text);

// The arguments after the program's name. Refusals are usage errors.
Checked<Request> parseCommandLine(std::span<const std::string> arguments);

// The text of --help.
std::string usageText();

} // namespace varlo::send
