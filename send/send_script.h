#pragma once

#include "send_steps.h"

#include <string_view>
#include <vector>

namespace varlo::send {

// A script: one step per line, each line standing alone.
//   2kHz square --attenuator on       a step, the words of a one-shot call
//   sweep 1kHz 10kHz --steps 10 --log a sweep, the words after --sweep
//   wait 500ms                        a pause
// "#" starts a comment; blank lines are skipped. The first bad line is refused as
// "FILE:LINE: what is wrong".
Checked<std::vector<Step>> parseScript(std::string_view text, std::string_view fileName);

} // namespace varlo::send
