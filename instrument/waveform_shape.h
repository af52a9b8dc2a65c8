#pragma once

#include "protocol/command_decoding.h"

namespace varlo::instrument {

// Output level at a point of the period, phase in [0, 1), full scale -1..1 before the
// attenuator. All three waveforms start at the same point: sine and triangle rise from 0,
// the square is high for the first dutyPercent of the period.
double waveformLevel(Waveform waveform, int dutyPercent, double phase);

// Amplitude factor of the -20 dB attenuator: a tenth.
double attenuatorGain(bool attenuatorOn);

} // namespace varlo::instrument
