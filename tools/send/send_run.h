#pragma once

#include "send_options.h"
#include "send_plan.h"

#include <vector>

namespace varlo::send {

// Exit statuses of the program.
namespace exit_status {
inline constexpr int Sent = 0;
inline constexpr int Usage = 2;
inline constexpr int PortNotOpened = 3;
inline constexpr int LineFailed = 4;
inline constexpr int SignalBase = 128; // plus the signal's number
} // namespace exit_status

// Opens the requested port through the serial link, sends the checked commands on schedule,
// printing a line for each one handed over whole, and closes the port. A signal stops the
// run between two commands. Returns the exit status.
int sendCommands(const Request& request, const std::vector<PlannedCommand>& commands);

// Prints COM1 to COM16 with their devices and states.
int listPorts();

// Prints the commands as they would be sent; nothing is opened.
int printCommands(const Request& request, const std::vector<PlannedCommand>& commands);

} // namespace varlo::send
