#include "protocol/enter_sequence.h"

#include "protocol/command_decoding.h"
#include "protocol/command_encoding.h"

namespace varlo {

std::vector<SequencedCommand> enterSequence(const GeneratorState& from,
                                            const WantedSettings& wanted, DutyBit dutyBit)
{
    std::vector<SequencedCommand> sequence;
    GeneratorState reached = from;
    const auto add = [&](CommandKind kind, std::string command) {
        reached = applied(reached, decodeCommand(command));
        sequence.push_back({kind, std::move(command), reached});
    };
    if (wanted.dutyPercent)
        add(CommandKind::Duty,
            dutyCommand(*wanted.dutyPercent, wanted.attenuatorOn, wanted.waveform));
    if (wanted.hz) {
        const bool adjusted =
            dutyBit == DutyBit::AsGeneratorHolds ? reached.dutyAdjusted : dutyBit == DutyBit::Set;
        add(CommandKind::Frequency,
            frequencyCommand(*wanted.hz, wanted.attenuatorOn, adjusted, wanted.waveform));
    }
    return sequence;
}

} // namespace varlo
