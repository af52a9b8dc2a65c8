#pragma once

#include "panel/panel_state.h"

#include <string>

namespace varlo {

enum class CommandKind { Duty, Frequency };

// What one press of Enter decided. For Send, the state already has the command's pending
// flag cleared and the entry ended; the window then clears the command's red marks and
// writes the text. For FrequencyTooLarge the state is untouched.
struct EnterDecision {
    enum class Outcome { Send, FrequencyTooLarge };
    Outcome outcome = Outcome::Send;
    CommandKind kind = CommandKind::Frequency;
    std::string command;
};

// Enter_Click's logic: the duty command while DutyChanged is set, else the frequency
// command for the entry on the display with its unit (also when nothing changed, so a
// second Enter repeats what the display shows).
EnterDecision pressEnter(PanelState& state);

// A command that could not be written is pending again, so the next Enter sends it.
void markUnsent(PanelState& state, CommandKind kind);

inline constexpr const char* TooLargeTitle = "Out of Range";
inline constexpr const char* TooLargeText = "Frequency too large!";

} // namespace varlo
