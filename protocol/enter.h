#pragma once

#include "panel/panel_state.h"
#include "protocol/enter_sequence.h"

#include <string>

namespace varlo {

// What one press of Enter decided: the command to hand to the line, or the refusal of a
// frequency the generator cannot make. Above the range the box is followed by the program's
// end. Below zero the command would put 0 Hz on the line while the display shows another
// number, so nothing is sent and the panel goes on with everything as it was.
struct EnterDecision {
    enum class Outcome { Send, FrequencyTooLarge, FrequencyBelowZero };
    Outcome outcome = Outcome::Send;
    CommandKind kind = CommandKind::Frequency;
    std::string command;
};

// Enter_Click's logic, first half: one command of Enter's sequence per press, the duty
// command while DutyChanged is set, else the frequency command for the entry on the display
// with its unit (also when nothing changed, so a second Enter repeats what the display
// shows), its duty-adjusted bit from DutyAdjusted. The state is not touched: until the line
// has taken the command, nothing of it counts as sent.
EnterDecision pressEnter(const PanelState& state);

// Second half, once the line has taken the command: its pending flag and red marks are
// cleared and the entry ends. A command the line refused leaves the state as it was, so the
// next Enter sends it again and the keypad goes on with the entry.
void commandSent(PanelState& state, CommandKind kind);

inline constexpr const char* OutOfRangeTitle = "Out of Range";
inline constexpr const char* TooLargeText = "Frequency too large!";
inline constexpr const char* BelowZeroText = "Frequency below zero!";

} // namespace varlo
