#pragma once

#include <string>

namespace varlo::scpi {

// One line on standard error, "varlo-scpi: " and the text: where a service's journal
// collects every refusal, fault and recovery, whether or not --quiet keeps the routine lines
// off standard output.
void journal(const std::string& text);

} // namespace varlo::scpi
