#include "protocol/scpi_messages.h"

#include "entry/whole_number.h"
#include "protocol/command_decoding.h"
#include "protocol/command_wording.h"
#include "protocol/generator_limits.h"

#include <array>
#include <utility>
#include <vector>

namespace varlo {

namespace {

struct MnemonicRow {
    Waveform waveform;
    const char* mnemonic;
};
constexpr std::array Mnemonics{
    MnemonicRow{Waveform::Sine, "SIN"},
    MnemonicRow{Waveform::Square, "SQU"},
    MnemonicRow{Waveform::Triangle, "TRI"},
};

std::string shapeAndAttenuator(Waveform waveform, bool attenuatorOn)
{
    return "FUNC " + waveformMnemonic(waveform) + ";:OUTP:ATT " +
           std::to_string(attenuatorOn ? AttenuationDb : 0);
}

std::vector<std::string_view> fields(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

// A frequency as the server answers it: whole hertz, and one or two digits of a fraction.
std::optional<std::pair<std::int64_t, int>> plainFrequency(std::string_view text)
{
    const std::vector<std::string_view> parts = fields(text, '.');
    const auto whole = wholeNumber(parts[0], 0, static_cast<int>(MaxFrequencyHz));
    if (!whole || parts.size() > 2)
        return std::nullopt;
    int hundredths = 0;
    if (parts.size() == 2) {
        const auto fraction = wholeNumber(parts[1], 0, 99);
        if (!fraction || parts[1].size() > 2)
            return std::nullopt;
        hundredths = parts[1].size() == 1 ? *fraction * 10 : *fraction;
    }
    return std::pair<std::int64_t, int>{*whole, hundredths};
}

} // namespace

std::string waveformMnemonic(Waveform waveform)
{
    for (const MnemonicRow& row : Mnemonics)
        if (row.waveform == waveform)
            return row.mnemonic;
    return "SIN";
}

std::optional<Waveform> waveformOfMnemonic(std::string_view mnemonic)
{
    for (const MnemonicRow& row : Mnemonics)
        if (mnemonic == row.mnemonic)
            return row.waveform;
    return std::nullopt;
}

std::optional<std::string> settingsMessage(std::string_view command)
{
    const DecodedCommand decoded = decodeCommand(command);
    if (const auto* frequency = std::get_if<FrequencySetting>(&decoded))
        return "FREQ " + plainHertz(frequency->wholeHz, frequency->hundredths) +
               ";:" + shapeAndAttenuator(frequency->waveform, frequency->attenuatorOn) +
               ";:FUNC:SQU:DCYC:ADJ " + (frequency->dutyAdjusted ? "1" : "0");
    if (const auto* duty = std::get_if<DutySetting>(&decoded))
        return shapeAndAttenuator(duty->waveform, duty->attenuatorOn) + ";:FUNC:SQU:DCYC:ALON " +
               std::to_string(duty->dutyPercent);
    return std::nullopt;
}

std::string confirmedMessage(std::string_view settings)
{
    return "*CLS;SYST:DEAD " + std::to_string(SettingsDeadlineMs) +
           " MS;:" + std::string(settings) + ";:SYST:ERR?";
}

std::optional<std::string> errorInAnswer(std::string_view answer)
{
    if (answer.starts_with("0,"))
        return std::nullopt;
    return std::string(answer);
}

std::optional<std::string> lockHolderInError(std::string_view entry)
{
    const std::string start =
        std::to_string(CommandProtectedNumber) + ",\"" + CommandProtectedText + ";" + LockedByWords;
    if (!entry.starts_with(start) || !entry.ends_with('"') || entry.size() <= start.size() + 1)
        return std::nullopt;
    return std::string(entry.substr(start.size(), entry.size() - start.size() - 1));
}

std::optional<GeneratorState> readHeldSettings(std::string_view answer)
{
    const std::vector<std::string_view> parts = fields(answer, ';');
    if (parts.size() != 4)
        return std::nullopt;
    const auto frequency = plainFrequency(parts[0]);
    const auto waveform = waveformOfMnemonic(parts[1]);
    const auto attenuation = wholeNumber(parts[2], 0, AttenuationDb);
    const auto duty = wholeNumber(parts[3], MinDutyPercent, MaxDutyPercent);
    if (!frequency || !waveform || !attenuation || !duty ||
        (*attenuation != 0 && *attenuation != AttenuationDb))
        return std::nullopt;
    GeneratorState held;
    held.wholeHz = frequency->first;
    held.hundredths = frequency->second;
    held.waveform = *waveform;
    held.attenuatorOn = *attenuation == AttenuationDb;
    held.dutyPercent = *duty;
    held.dutyAdjusted = *duty != UnadjustedDutyPercent;
    return held;
}

} // namespace varlo
