#include "scpi/generator/generator_settings.h"

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

// The settings the changes ask for, the duty among them that a duty command must carry, and
// what becomes of the frequency command's duty-adjusted bit.
struct Wanted {
    GeneratorState settings;
    std::optional<int> dutyPercent;
    DutyBit dutyBit = DutyBit::AsGeneratorHolds;
    bool dutyAlone = false;
    bool frequencyNamed = false; // a frequency, the bit or *RST, which only it carries
};

Wanted wantedAfter(const GeneratorState& sent, std::span<const Change> changes)
{
    Wanted wanted{sent, std::nullopt};
    GeneratorState& settings = wanted.settings;
    for (const Change& change : changes) {
        if (const auto* duty = std::get_if<SetDuty>(&change)) {
            wanted.dutyPercent = duty->percent;
            wanted.dutyBit = DutyBit::AsGeneratorHolds;
            wanted.dutyAlone = duty->alone;
        } else if (const auto* adjusted = std::get_if<SetDutyAdjusted>(&change)) {
            wanted.dutyBit = adjusted->on ? DutyBit::Set : DutyBit::Clear;
            wanted.frequencyNamed = true;
        } else if (const auto* frequency = std::get_if<SetFrequency>(&change)) {
            setFrequency(settings, frequency->hz);
            wanted.frequencyNamed = true;
        } else if (const auto* waveform = std::get_if<SetWaveform>(&change)) {
            settings.waveform = waveform->waveform;
        } else if (const auto* attenuator = std::get_if<SetAttenuator>(&change)) {
            settings.attenuatorOn = attenuator->on;
        } else if (const auto* apply = std::get_if<Apply>(&change)) {
            settings.waveform = apply->waveform;
            if (apply->hz) {
                setFrequency(settings, *apply->hz);
                wanted.frequencyNamed = true;
            }
        } else {
            wanted = Wanted{GeneratorState{}, std::nullopt, DutyBit::Clear, false, true};
        }
    }
    return wanted;
}

} // namespace

std::vector<SequencedCommand> planWrites(const GeneratorState& sent,
                                         std::span<const Change> changes)
{
    const Wanted wanted = wantedAfter(sent, changes);
    const GeneratorState& settings = wanted.settings;
    std::optional<double> hz = hertzOf(settings);
    if (wanted.dutyAlone && !wanted.frequencyNamed)
        hz.reset();
    return enterSequence(sent, {hz, settings.waveform, settings.attenuatorOn, wanted.dutyPercent},
                         wanted.dutyBit);
}

} // namespace varlo::scpi
