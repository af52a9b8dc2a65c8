#include "scpi/generator_settings.h"

#include "protocol/command_encoding.h"

namespace varlo::scpi {

namespace {

double hertzOf(const GeneratorState& settings)
{
    return static_cast<double>(settings.wholeHz) + settings.hundredths / 100.0;
}

void setFrequency(GeneratorState& settings, double hz)
{
    const SplitFrequency split = splitFrequency(hz);
    settings.wholeHz = split.wholeHz;
    settings.hundredths = split.hundredths;
}

PlannedWrite frequencyWrite(const GeneratorState& after)
{
    return {
        frequencyCommand(hertzOf(after), after.attenuatorOn, after.dutyAdjusted, after.waveform),
        after};
}

} // namespace

std::vector<PlannedWrite> planWrites(const GeneratorState& sent, const Change& change)
{
    GeneratorState after = sent;
    if (const auto* duty = std::get_if<SetDuty>(&change)) {
        after.dutyPercent = duty->percent;
        after.dutyAdjusted = true;
        return {{dutyCommand(duty->percent, sent.attenuatorOn, sent.waveform), after},
                frequencyWrite(after)};
    }
    if (const auto* frequency = std::get_if<SetFrequency>(&change)) {
        setFrequency(after, frequency->hz);
    } else if (const auto* waveform = std::get_if<SetWaveform>(&change)) {
        after.waveform = waveform->waveform;
    } else if (const auto* attenuator = std::get_if<SetAttenuator>(&change)) {
        after.attenuatorOn = attenuator->on;
    } else if (const auto* apply = std::get_if<Apply>(&change)) {
        after.waveform = apply->waveform;
        if (apply->hz)
            setFrequency(after, *apply->hz);
    } else {
        after = GeneratorState{};
    }
    return {frequencyWrite(after)};
}

} // namespace varlo::scpi
