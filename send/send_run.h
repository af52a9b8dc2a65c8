#pragma once

#include "program/quit_on_signal.h"
#include "send/send_options.h"
#include "send/send_plan.h"

#include <string_view>
#include <vector>

namespace varlo::send {

// Says why on standard error, escaped: "varlo-send: MESSAGE".
void complain(std::string_view message);

// Opens the requested port through the serial link, or connects to varlo-scpi, sends the
// checked commands on schedule, printing a line for each one handed over whole, and closes
// the port or the connection. A signal stops the run between two commands, also while a write
// waits for a stalled line or for the server. Returns the exit status.
int sendCommands(const Request& request, const std::vector<PlannedCommand>& commands,
                 const QuitOnSignal& quitOnSignal);

// Prints COM1 to COM16 with their devices and states.
int listPorts();

// Prints the commands as they would be sent; nothing is opened.
int printCommands(const Request& request, const std::vector<PlannedCommand>& commands);

} // namespace varlo::send
