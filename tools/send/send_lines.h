#pragma once

#include "send_values.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace varlo::send {

// The line printed for a command sent: the command, two blanks, what the instrument reads in
// it ("4D03000004  frequency 12500.00 Hz, square, attenuator off, duty not adjusted").
std::string commandLine(std::string_view command);

// The progress line: "step 12 of 50, 1.2 kHz, 3.8 s left". `index` counts from 1.
std::string progressText(std::size_t index, std::size_t count, std::string_view shown,
                         Duration left);

} // namespace varlo::send
