#pragma once

#include <bitset>
#include <cstddef>

namespace varlo {

// The controls that show a pending setting with a red background.
enum class Marked : std::size_t { WaveSin, WaveSqu, WaveTri, DBSOn, DBSOff, DutyValueLabel };

inline constexpr std::size_t MarkedCount = 6;

// Which controls are red: each stands for a setting changed on the panel that the line has
// not yet taken. A settings click marks its own control; a command the line has taken clears
// the marks of what it carried. The window only paints what this says.
class PendingMarks {
public:
    bool isRed(Marked control) const { return red_.test(index(control)); }
    void mark(Marked control) { red_.set(index(control)); }
    // A frequency command carries the waveform and the attenuator: all five option buttons.
    void frequencySent();
    // A duty command carries the duty cycle: its label.
    void dutySent() { red_.reset(index(Marked::DutyValueLabel)); }

private:
    static constexpr std::size_t index(Marked control) { return static_cast<std::size_t>(control); }
    std::bitset<MarkedCount> red_;
};

} // namespace varlo
