#include "instrument/waveform_shape.h"

#include "protocol/generator_limits.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varlo::instrument {

double waveformLevel(Waveform waveform, int dutyPercent, double phase)
{
    switch (waveform) {
    case Waveform::Sine:
        return std::sin(2.0 * std::numbers::pi * phase);
    case Waveform::Square:
        return phase < std::clamp(dutyPercent, 0, 100) / 100.0 ? 1.0 : -1.0;
    case Waveform::Triangle:
        if (phase < 0.25)
            return 4.0 * phase;
        if (phase < 0.75)
            return 2.0 - 4.0 * phase;
        return 4.0 * phase - 4.0;
    }
    return 0.0;
}

double attenuatorGain(bool attenuatorOn)
{
    return attenuatorOn ? std::pow(10.0, -AttenuationDb / 20.0) : 1.0;
}

} // namespace varlo::instrument
