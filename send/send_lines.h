#pragma once

#include "send_values.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace varlo::send {

// The progress line: "step 12 of 50, 1.2 kHz, 3.8 s left". `index` counts from 1.
std::string progressText(std::size_t index, std::size_t count, std::string_view shown,
                         Duration left);

} // namespace varlo::send
