#include "protocol/generator_state.h"

namespace varlo {

GeneratorState applied(GeneratorState state, const DecodedCommand& command)
{
    if (const auto* frequency = std::get_if<FrequencySetting>(&command)) {
        state.wholeHz = frequency->wholeHz;
        state.hundredths = frequency->hundredths;
        state.waveform = frequency->waveform;
        state.attenuatorOn = frequency->attenuatorOn;
        state.dutyAdjusted = frequency->dutyAdjusted;
        if (!frequency->dutyAdjusted)
            state.dutyPercent = UnadjustedDutyPercent;
    } else if (const auto* duty = std::get_if<DutySetting>(&command)) {
        state.dutyPercent = duty->dutyPercent;
        state.waveform = duty->waveform;
        state.attenuatorOn = duty->attenuatorOn;
        state.dutyAdjusted = true;
    }
    return state;
}

} // namespace varlo
