#pragma once

#include <string>

namespace varlo::scpi {

// One line on standard error, "varlo-scpi: " and the text: where a service's journal
// collects every refusal, fault and recovery, whether or not --quiet keeps the routine lines
// off standard output.
void journal(const std::string& text);

// journal() for what a client can cause as often as it likes (a refusal, a timeout): the
// first line of a kind, then a count of the kind every JournalLimiter::Window.
void journalLimited(const std::string& kind, const std::string& text);
// The counts whose window has passed, written; called every window.
void journalCounts();

} // namespace varlo::scpi
