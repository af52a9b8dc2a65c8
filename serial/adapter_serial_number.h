#pragma once

#include "serial/port_choice.h"

#include <string>

namespace varlo {

// The serial number a USB adapter reports for the chosen port, as the system lists it; empty
// for a port without one (a built-in port, a pseudo-terminal, most cheap adapters).
std::string adapterSerialNumber(const PortChoice& port);

} // namespace varlo
