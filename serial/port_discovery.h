#pragma once

#include "panel/user_dialogs.h"
#include "serial/port_names.h"
#include "serial/port_operations.h"

#include <optional>

namespace varlo {

inline constexpr const char* PanelTitle = "Function Generator";
inline constexpr const char* NoPortText = "No communication port can use!";

// The start-up scan: tries COM16 down to COM1, asks about each port that opens and keeps the
// first accepted one open. Returns its number, or nullopt after telling the user that no
// port can be used and ending the program. Each port whose device is there but would not
// open is named on stderr with the reason; the same lines are that box's details. Once the program
// is told to end (a signal), the scan stops at once: the port on offer is closed, no further port
// is tried, nothing is said.
std::optional<int> discoverPort(PortOperations& ports, UserDialogs& dialogs);

} // namespace varlo
