// Any text typed into the frequency display, with any unit and options, through Enter: the
// numeric value, the frequency in hertz, the range check and the frequency command. Nothing
// may crash, and every command that passes the range check is ten uppercase hex characters,
// eleven from 16,777,216 Hz, which the instrument's decoder reads back as the settings it was
// made from; so does the duty command of any duty cycle the panel offers.

#include "fuzz/fuzz_check.h"

#include "entry/number_text.h"
#include "panel/panel_state.h"
#include "protocol/command_decoding.h"
#include "protocol/command_encoding.h"
#include "protocol/enter.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

bool upperHex(const std::string& text)
{
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace varlo;
    if (size == 0)
        return 0;
    // First byte: the panel's options; the rest: the display text.
    const std::uint8_t options = data[0];
    constexpr Unit units[] = {Unit::Hz, Unit::KHz, Unit::MHz};
    constexpr Waveform waves[] = {Waveform::Sine, Waveform::Square, Waveform::Triangle};
    const Unit unit = units[options % 3];
    const Waveform wave = waves[(options >> 4) % 3];
    const bool attenuatorOn = (options & 0x04) != 0;
    const bool dutyAdjusted = (options & 0x08) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const double value = numericValue(text);
    const double hz = frequencyHz(value, unit);

    PanelState state;
    state.EntryValue = value;
    state.UnitExponent = unit;
    state.WaveCode = wave;
    state.AttenuatorOn = attenuatorOn;
    state.DutyAdjusted = dutyAdjusted;
    state.SettingsChanged = true;
    const EnterDecision decision = pressEnter(state);

    if (hz > MaxFrequencyHz) {
        FUZZ_CHECK(decision.outcome == EnterDecision::Outcome::FrequencyTooLarge);
        return 0;
    }
    if (hz < 0) {
        FUZZ_CHECK(decision.outcome == EnterDecision::Outcome::FrequencyBelowZero);
        return 0;
    }
    FUZZ_CHECK(decision.outcome == EnterDecision::Outcome::Send);
    FUZZ_CHECK(decision.kind == CommandKind::Frequency);

    const std::string command = frequencyCommand(hz, attenuatorOn, dutyAdjusted, wave);
    FUZZ_CHECK(command == decision.command);
    FUZZ_CHECK(upperHex(command));
    const bool sevenWholeDigits = splitFrequency(hz).wholeHz >= 16'777'216;
    FUZZ_CHECK(command.size() == (sevenWholeDigits ? 11u : 10u));
    FUZZ_CHECK(command.back() == waveformDigit(wave));
    FUZZ_CHECK(command[command.size() - 2] == modeDigit(attenuatorOn, dutyAdjusted));

    const SplitFrequency split = splitFrequency(hz);
    const DecodedCommand decoded = decodeCommand(command);
    FUZZ_CHECK(decoded == DecodedCommand(FrequencySetting{split.wholeHz, split.hundredths,
                                                          attenuatorOn, dutyAdjusted, wave}));
    const int duty = 20 + data[size - 1] % 61;
    FUZZ_CHECK(decodeCommand(dutyCommand(duty, attenuatorOn, wave)) ==
               DecodedCommand(DutySetting{duty, attenuatorOn, wave}));
    return 0;
}
