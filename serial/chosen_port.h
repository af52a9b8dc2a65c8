#pragma once

#include "serial/line_settings.h"
#include "serial/port_choice.h"
#include "serial/serial_link.h"

#include <cstdint>
#include <string>

namespace varlo {

// Opens the chosen port on the link with the settings: 0, or the communication error code of
// the step that failed.
std::int16_t openChosenPort(SerialLink& link, const PortChoice& port, const LineSettings& settings);

// Why the chosen port did not open, after "cannot open ": the port's diagnosis where the link
// got as far as a device ("COM3 (/dev/ttyS2): busy: minicom (pid 4242) holds it"), else the
// port with the code's wording.
std::string openFailureText(const SerialLink& link, const PortChoice& port, std::int16_t code);

} // namespace varlo
