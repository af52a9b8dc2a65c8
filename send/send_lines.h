#pragma once

#include "send/send_values.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace varlo::send {

// The progress line: "step 12 of 50, 1.2 kHz, 3.8 s left". `index` counts from 1.
std::string progressText(std::size_t index, std::size_t count, std::string_view shown,
                         Duration left);

// A text from outside (a word, a script line, a file or device name) made safe for a
// terminal: control characters, C1 controls included, and bytes that are not well-formed
// UTF-8 are written as \x00, so that nothing read can move, retitle or clear the screen.
std::string escapedText(std::string_view text);

// What the program says on standard error: "varlo-send: MESSAGE\n", escaped.
std::string errorLine(std::string_view message);

} // namespace varlo::send
