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

// The settings the changes ask for, and the duty among them that a duty command must carry.
struct Wanted {
    GeneratorState settings;
    std::optional<int> dutyPercent;
};

Wanted wantedAfter(const GeneratorState& sent, std::span<const Change> changes)
{
    Wanted wanted{sent, std::nullopt};
    GeneratorState& settings = wanted.settings;
    for (const Change& change : changes) {
        if (const auto* duty = std::get_if<SetDuty>(&change)) {
            settings.dutyPercent = duty->percent;
            settings.dutyAdjusted = true;
            wanted.dutyPercent = duty->percent;
        } else if (const auto* frequency = std::get_if<SetFrequency>(&change)) {
            setFrequency(settings, frequency->hz);
        } else if (const auto* waveform = std::get_if<SetWaveform>(&change)) {
            settings.waveform = waveform->waveform;
        } else if (const auto* attenuator = std::get_if<SetAttenuator>(&change)) {
            settings.attenuatorOn = attenuator->on;
        } else if (const auto* apply = std::get_if<Apply>(&change)) {
            settings.waveform = apply->waveform;
            if (apply->hz)
                setFrequency(settings, *apply->hz);
        } else {
            wanted = Wanted{};
        }
    }
    return wanted;
}

} // namespace

std::vector<PlannedWrite> planWrites(const GeneratorState& sent, std::span<const Change> changes)
{
    const Wanted wanted = wantedAfter(sent, changes);
    const GeneratorState& settings = wanted.settings;
    std::vector<PlannedWrite> writes;
    // Each command's settings as the generator takes them from it.
    GeneratorState reached = sent;
    const auto add = [&](std::string command) {
        reached = applied(reached, decodeCommand(command));
        writes.push_back({std::move(command), reached});
    };
    if (wanted.dutyPercent)
        add(dutyCommand(*wanted.dutyPercent, settings.attenuatorOn, settings.waveform));
    add(frequencyCommand(hertzOf(settings), settings.attenuatorOn, settings.dutyAdjusted,
                         settings.waveform));
    return writes;
}

} // namespace varlo::scpi
