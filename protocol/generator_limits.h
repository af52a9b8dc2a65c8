#pragma once

#include <cstdint>

// What the generator can make and the state it starts in. The panel, varlo-send, varlo-scpi
// and the instrument all take these from here, and check a frequency with checkFrequency().

namespace varlo {

// One bit per waveform; the value is also the last hex digit of every command.
enum class Waveform : std::int16_t { Sine = 8, Square = 4, Triangle = 2 };

// A frequency command carries whole hertz and hundredths: 0.01 Hz is the least step above
// 0 Hz it can carry.
inline constexpr double MinFrequencyHz = 0.01;
inline constexpr double MaxFrequencyHz = 100'000'000.0;

// The square wave's duty cycle, in whole percent.
inline constexpr int MinDutyPercent = 20;
inline constexpr int MaxDutyPercent = 80;
// The duty cycle until a duty command adjusts it, and again after a frequency command that
// says it never was.
inline constexpr int UnadjustedDutyPercent = 50;

// The attenuator takes the output down by this much when it is on.
inline constexpr int AttenuationDb = 20;

// The state the generator starts in, which the panel shows at start-up, varlo-scpi's *RST
// sends and the instrument shows until the first command: 1000 Hz, sine, attenuator off,
// duty cycle not adjusted.
inline constexpr int StartUpFrequencyHz = 1000;
inline constexpr Waveform StartUpWaveform = Waveform::Sine;
inline constexpr bool StartUpAttenuatorOn = false;
inline constexpr int StartUpDutyPercent = UnadjustedDutyPercent;

// Where a frequency in hertz lies against the generator's range, checked before it is split
// into whole hertz and hundredths.
//
// The programs differ below MinFrequencyHz on purpose. The panel's Enter sends 0 Hz and
// anything below a hundredth as 0.00 Hz: after Clear its display shows 0, and what the
// display shows is what Enter sends. It refuses only below zero, with "Frequency below
// zero!", because that command would put 0 Hz on the line while the display shows another
// number. varlo-send and varlo-scpi take their numbers from scripts and other programs, with
// no display to show what was meant: they refuse everything below MinFrequencyHz rather than
// put 0.00 Hz on the line for a mistyped unit.
// Above MaxFrequencyHz every program refuses, the panel with "Frequency too large!" and then
// its end; so does a number that is no number at all.
enum class FrequencyCheck { InRange, AboveMaximum, BelowMinimum, BelowZero };

constexpr FrequencyCheck checkFrequency(double hz)
{
    if (!(hz <= MaxFrequencyHz))
        return FrequencyCheck::AboveMaximum;
    if (hz < 0)
        return FrequencyCheck::BelowZero;
    if (hz < MinFrequencyHz)
        return FrequencyCheck::BelowMinimum;
    return FrequencyCheck::InRange;
}

} // namespace varlo
