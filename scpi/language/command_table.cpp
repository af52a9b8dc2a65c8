#include "scpi/language/command_table.h"

#include "protocol/command_encoding.h"
#include "protocol/command_wording.h"
#include "protocol/generator_limits.h"
#include "protocol/scpi_messages.h"
#include "scpi/language/header_pattern.h"
#include "scpi/language/instrument_identity.h"
#include "scpi/language/scpi_parser.h"
#include "scpi/language/scpi_values.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace varlo::scpi {

namespace {

using Parameters = std::span<const Parameter>;
using Handler = Step (*)(Parameters);

// A header as HeaderPattern reads it, and its handlers for the setting and the query.
struct Entry {
    std::string_view header;
    Handler set = nullptr;
    Handler query = nullptr;
};

std::optional<Error> countIs(Parameters parameters, std::size_t count)
{
    if (parameters.size() < count)
        return errors::MissingParameter;
    if (parameters.size() > count)
        return errors::ParameterNotAllowed;
    return std::nullopt;
}

// A number that `accepted` takes, or one of the limits low, high and byDefault; -222 for any
// other number.
std::variant<double, Error> numberIn(const Parameter& parameter, std::span<const UnitSuffix> units,
                                     double low, double high, double byDefault,
                                     bool (*accepted)(double))
{
    const auto read = readNumber(parameter, units);
    if (const auto* error = std::get_if<Error>(&read))
        return *error;
    const Number& number = std::get<Number>(read);
    if (const auto* limit = std::get_if<Limit>(&number))
        return *limit == Limit::Minimum ? low : *limit == Limit::Maximum ? high : byDefault;
    const double value = std::get<double>(number);
    if (!accepted(value))
        return errors::OutOfRange;
    return value;
}

std::variant<Waveform, Error> waveformOf(const Parameter& parameter)
{
    const std::string_view word = parameter.text;
    if (parameter.quoted || word.empty() || !isLetter(word.front()))
        return errors::DataType;
    if (matchesMnemonic(word, "SINusoid"))
        return Waveform::Sine;
    if (matchesMnemonic(word, "SQUare"))
        return Waveform::Square;
    if (matchesMnemonic(word, "TRIangle"))
        return Waveform::Triangle;
    return errors::IllegalValue;
}

template <class T> Step stepOr(const std::variant<T, Error>& read, auto&& make)
{
    if (const auto* error = std::get_if<Error>(&read))
        return ErrorStep{*error};
    return make(std::get<T>(read));
}

Step answer(std::string text)
{
    return QueryStep{nullptr, std::move(text)};
}

Step answerFrom(std::string (*read)(Session&, const GeneratorState&))
{
    return QueryStep{read, {}};
}

// A query that takes nothing, or MIN, MAX or DEF for its limits.
Step limitsQuery(Parameters parameters, const std::string& low, const std::string& high,
                 const std::string& byDefault, Step current)
{
    if (parameters.empty())
        return current;
    if (const auto error = countIs(parameters, 1))
        return ErrorStep{*error};
    const auto read = readNumber(parameters[0]);
    const Limit* limit = std::holds_alternative<Number>(read)
                             ? std::get_if<Limit>(&std::get<Number>(read))
                             : nullptr;
    if (limit == nullptr)
        return ErrorStep{errors::IllegalValue};
    return answer(*limit == Limit::Minimum ? low : *limit == Limit::Maximum ? high : byDefault);
}

std::variant<double, Error> registerValue(Parameters parameters)
{
    if (const auto error = countIs(parameters, 1))
        return *error;
    const auto read = readNumber(parameters[0]);
    if (const auto* error = std::get_if<Error>(&read))
        return *error;
    const auto* value = std::get_if<double>(&std::get<Number>(read));
    if (value == nullptr)
        return errors::IllegalValue;
    if (!(*value >= 0 && *value <= 255))
        return errors::OutOfRange;
    return std::round(*value);
}

Step noParameters(Parameters parameters, Step step)
{
    if (!parameters.empty())
        return ErrorStep{errors::ParameterNotAllowed};
    return step;
}

Step identify(Parameters p)
{
    return noParameters(p, answer(identity()));
}

Step reset(Parameters p)
{
    return noParameters(p, ChangeStep{{Reset{}}});
}

Step clearStatus(Parameters p)
{
    return noParameters(p, StatusStep{[](Session& session, int) { session.clearStatus(); }});
}

// *ESE and *SRE: a register of the session set from 0..255.
template <void (Session::*Set)(std::uint8_t)> Step setRegister(Parameters p)
{
    return stepOr(registerValue(p), [](double mask) -> Step {
        return StatusStep{
            [](Session& session, int value) { (session.*Set)(static_cast<std::uint8_t>(value)); },
            static_cast<int>(mask)};
    });
}

// *ESE?, *ESR?, *SRE?, *STB? and SYSTem:ERRor:COUNt?: a number the session keeps.
template <auto Read> Step sessionNumber(Parameters p)
{
    return noParameters(p, answerFrom([](Session& session, const GeneratorState&) {
                            return std::to_string((session.*Read)());
                        }));
}

Step selfTest(Parameters p)
{
    return noParameters(p, answer("0"));
}

// *OPC, *OPC? and *WAI: a wait for the line, and what comes once it has carried everything.
template <WaitStep::Then Then> Step waitForLine(Parameters p)
{
    return noParameters(p, WaitStep{Then});
}

Step nextError(Parameters p)
{
    return noParameters(
        p, answerFrom([](Session& session, const GeneratorState&) { return session.nextError(); }));
}

// A front end's time limit for the settings of its line (see DeadlineStep).
Step setDeadline(Parameters p)
{
    constexpr double MaxSeconds = 60;
    if (const auto error = countIs(p, 1))
        return ErrorStep{*error};
    return stepOr(numberIn(p[0], SecondUnits, 0, MaxSeconds, MaxSeconds,
                           [](double seconds) { return seconds >= 0 && seconds <= MaxSeconds; }),
                  [](double seconds) -> Step {
                      return DeadlineStep{std::chrono::milliseconds(std::llround(seconds * 1000))};
                  });
}

template <LockStep::Action Action> Step lock(Parameters p)
{
    return noParameters(p, LockStep{Action});
}

Step version(Parameters p)
{
    return noParameters(p, answer("1999.0"));
}

std::variant<double, Error> frequencyOf(const Parameter& parameter)
{
    return numberIn(parameter, FrequencyUnits, MinFrequencyHz, MaxFrequencyHz, StartUpFrequencyHz,
                    [](double hz) { return checkFrequency(hz) == FrequencyCheck::InRange; });
}

std::string hertzText(double hz)
{
    const SplitFrequency split = splitFrequency(hz);
    return plainHertz(split.wholeHz, split.hundredths);
}

Step setFrequency(Parameters p)
{
    if (const auto error = countIs(p, 1))
        return ErrorStep{*error};
    return stepOr(frequencyOf(p[0]),
                  [](double hz) -> Step { return ChangeStep{{SetFrequency{hz}}}; });
}

Step frequency(Parameters p)
{
    return limitsQuery(p, hertzText(MinFrequencyHz), hertzText(MaxFrequencyHz),
                       hertzText(StartUpFrequencyHz),
                       answerFrom([](Session&, const GeneratorState& sent) {
                           return plainHertz(sent.wholeHz, sent.hundredths);
                       }));
}

Step setFunction(Parameters p)
{
    if (const auto error = countIs(p, 1))
        return ErrorStep{*error};
    return stepOr(waveformOf(p[0]),
                  [](Waveform waveform) -> Step { return ChangeStep{{SetWaveform{waveform}}}; });
}

Step function(Parameters p)
{
    return noParameters(p, answerFrom([](Session&, const GeneratorState& sent) {
                            return waveformMnemonic(sent.waveform);
                        }));
}

// FUNCtion:SQUare:DCYCle, and with Alone its duty command without the frequency command.
template <bool Alone> Step setDutyCycle(Parameters p)
{
    if (const auto error = countIs(p, 1))
        return ErrorStep{*error};
    return stepOr(numberIn(p[0], PercentUnits, MinDutyPercent, MaxDutyPercent,
                           UnadjustedDutyPercent,
                           [](double percent) {
                               return percent >= MinDutyPercent && percent <= MaxDutyPercent;
                           }),
                  [](double percent) -> Step {
                      return ChangeStep{{SetDuty{static_cast<int>(std::lround(percent)), Alone}}};
                  });
}

Step setDutyAdjusted(Parameters p)
{
    if (const auto error = countIs(p, 1))
        return ErrorStep{*error};
    return stepOr(readBoolean(p[0]),
                  [](bool on) -> Step { return ChangeStep{{SetDutyAdjusted{on}}}; });
}

Step dutyAdjusted(Parameters p)
{
    return noParameters(p, answerFrom([](Session&, const GeneratorState& sent) {
                            return std::string(sent.dutyAdjusted ? "1" : "0");
                        }));
}

Step dutyCycle(Parameters p)
{
    return limitsQuery(p, std::to_string(MinDutyPercent), std::to_string(MaxDutyPercent),
                       std::to_string(UnadjustedDutyPercent),
                       answerFrom([](Session&, const GeneratorState& sent) {
                           return std::to_string(sent.dutyPercent);
                       }));
}

Step setAttenuation(Parameters p)
{
    if (const auto error = countIs(p, 1))
        return ErrorStep{*error};
    const auto read = readNumber(p[0], DecibelUnits);
    if (const auto* error = std::get_if<Error>(&read))
        return ErrorStep{*error};
    const Number& number = std::get<Number>(read);
    bool on = false;
    if (const auto* limit = std::get_if<Limit>(&number))
        on = *limit == Limit::Maximum;
    else if (const double db = std::get<double>(number); db == AttenuationDb)
        on = true;
    else if (db != 0)
        return ErrorStep{errors::IllegalValue};
    return ChangeStep{{SetAttenuator{on}}};
}

Step attenuation(Parameters p)
{
    return noParameters(p, answerFrom([](Session&, const GeneratorState& sent) {
                            return std::to_string(sent.attenuatorOn ? AttenuationDb : 0);
                        }));
}

// The output is always on: ON is taken and changes nothing, OFF cannot be done.
Step setOutput(Parameters p)
{
    if (const auto error = countIs(p, 1))
        return ErrorStep{*error};
    return stepOr(readBoolean(p[0]), [](bool on) -> Step {
        if (!on)
            return ErrorStep{errors::SettingsConflict};
        return StatusStep{[](Session&, int) {}};
    });
}

Step output(Parameters p)
{
    return noParameters(p, answer("1"));
}

// APPLy:<shape> [<frequency>]; an amplitude or offset after it cannot be set here.
template <Waveform W> Step apply(Parameters p)
{
    if (p.size() > 1)
        return ErrorStep{errors::ParameterNotAllowed};
    if (p.empty())
        return ChangeStep{{Apply{W, std::nullopt}}};
    return stepOr(frequencyOf(p[0]), [](double hz) -> Step { return ChangeStep{{Apply{W, hz}}}; });
}

Step applied(Parameters p)
{
    return noParameters(p, answerFrom([](Session&, const GeneratorState& sent) {
                            std::string text = "\"";
                            text += waveformMnemonic(sent.waveform);
                            text += ' ';
                            text += plainHertz(sent.wholeHz, sent.hundredths);
                            text += '"';
                            return text;
                        }));
}

// The commands of an oscilloscope's Bode plot, which drives its generator with the SDG
// family's words: C1:BSWV name,value pairs for the basic wave, C1:OUTP for the output, and
// IDN-SGLT-PRI? for what it is. This generator has one channel, its level set on the
// instrument: the level, offset, phase, load and output words are taken and change nothing
// (an empty change, which joins the settings around it and sends nothing alone).

// Claims no real model: the scope only checks that the answer begins "IDN-SGLT-PRI SDG".
Step scopeIdentity(Parameters p)
{
    return noParameters(p, answer("IDN-SGLT-PRI SDG0000X"));
}

std::string_view basicWaveName(Waveform waveform)
{
    switch (waveform) {
    case Waveform::Square:
        return "SQUARE";
    case Waveform::Triangle:
        return "TRIANGLE";
    case Waveform::Sine:
        break;
    }
    return "SINE";
}

std::variant<Waveform, Error> basicWaveOf(const Parameter& parameter)
{
    if (parameter.quoted)
        return errors::DataType;
    for (const Waveform waveform : {Waveform::Sine, Waveform::Square, Waveform::Triangle})
        if (matchesMnemonic(parameter.text, basicWaveName(waveform)))
            return waveform;
    return errors::IllegalValue;
}

// A value that is taken and changes nothing: a number, with these units, or one of the words.
std::optional<Error> ignoredValue(const Parameter& parameter, std::span<const UnitSuffix> units,
                                  std::span<const std::string_view> words = {})
{
    for (const std::string_view word : words)
        if (!parameter.quoted && matchesMnemonic(parameter.text, word))
            return std::nullopt;
    const auto read = readNumber(parameter, units);
    if (const auto* error = std::get_if<Error>(&read))
        return *error;
    return std::nullopt;
}

constexpr UnitSuffix VoltUnits[] = {{"V", 0}, {"MV", -3}};
constexpr std::string_view HighImpedance[] = {"HZ"};

// C1:BSWV WVTP,SINE,FRQ,1000,AMP,2: the shape and the frequency, as FUNC and FREQ set them.
Step setBasicWave(Parameters p)
{
    if (p.empty() || p.size() % 2 != 0)
        return ErrorStep{errors::MissingParameter};
    ChangeStep settings;
    for (std::size_t i = 0; i < p.size(); i += 2) {
        const Parameter& name = p[i];
        const Parameter& value = p[i + 1];
        const auto is = [&name](std::string_view word) {
            return !name.quoted && matchesMnemonic(name.text, word);
        };
        std::optional<Error> error;
        if (is("WVTP")) {
            const auto read = basicWaveOf(value);
            if (const auto* waveform = std::get_if<Waveform>(&read))
                settings.changes.emplace_back(SetWaveform{*waveform});
            else
                error = std::get<Error>(read);
        } else if (is("FRQ")) {
            const auto read = frequencyOf(value);
            if (const auto* hz = std::get_if<double>(&read))
                settings.changes.emplace_back(SetFrequency{*hz, true});
            else
                error = std::get<Error>(read);
        } else if (is("AMP") || is("OFST")) {
            error = ignoredValue(value, VoltUnits);
        } else if (is("PHSE")) {
            error = ignoredValue(value, {});
        } else {
            error = errors::IllegalValue;
        }
        if (error)
            return ErrorStep{*error};
    }
    return settings;
}

Step basicWave(Parameters p)
{
    return noParameters(p, answerFrom([](Session&, const GeneratorState& sent) {
                            std::string text = "C1:BSWV WVTP,";
                            text += basicWaveName(sent.waveform);
                            text += ",FRQ,";
                            text += plainHertz(sent.wholeHz, sent.hundredths);
                            text += "HZ";
                            return text;
                        }));
}

// C1:OUTP ON, OFF and LOAD,50 or LOAD,HZ, in any order.
Step setChannelOutput(Parameters p)
{
    if (p.empty())
        return ErrorStep{errors::MissingParameter};
    for (std::size_t i = 0; i < p.size(); ++i) {
        const auto is = [&p, i](std::string_view word) {
            return !p[i].quoted && matchesMnemonic(p[i].text, word);
        };
        if (is("ON") || is("OFF"))
            continue;
        if (!is("LOAD"))
            return ErrorStep{errors::IllegalValue};
        if (++i == p.size())
            return ErrorStep{errors::MissingParameter};
        if (const auto error = ignoredValue(p[i], {}, HighImpedance))
            return ErrorStep{*error};
    }
    return ChangeStep{};
}

constexpr Entry Table[] = {
    {"*IDN", nullptr, identify},
    {"*RST", reset, nullptr},
    {"*CLS", clearStatus, nullptr},
    {"*ESE", setRegister<&Session::setEventEnable>, sessionNumber<&Session::eventEnable>},
    {"*ESR", nullptr, sessionNumber<&Session::takeEvents>},
    {"*SRE", setRegister<&Session::setServiceEnable>, sessionNumber<&Session::serviceEnable>},
    {"*STB", nullptr, sessionNumber<&Session::statusByte>},
    {"*TST", nullptr, selfTest},
    {"*OPC", waitForLine<WaitStep::Then::SetOperationComplete>,
     waitForLine<WaitStep::Then::AnswerOne>},
    {"*WAI", waitForLine<WaitStep::Then::Nothing>, nullptr},
    {"SYSTem:ERRor[:NEXT]", nullptr, nextError},
    {"SYSTem:ERRor:COUNt", nullptr, sessionNumber<&Session::errorCount>},
    {"SYSTem:VERSion", nullptr, version},
    {"SYSTem:DEADline", setDeadline, nullptr},
    {"SYSTem:LOCK:REQuest", nullptr, lock<LockStep::Action::Request>},
    {"SYSTem:LOCK:RELease", lock<LockStep::Action::Release>, nullptr},
    {"SYSTem:LOCK:OWNer", nullptr, lock<LockStep::Action::Owner>},
    {"[SOURce#:]FREQuency[:CW|:FIXed]", setFrequency, frequency},
    {"[SOURce#:]FUNCtion[:SHAPe]", setFunction, function},
    {"[SOURce#:]FUNCtion:SQUare:DCYCle", setDutyCycle<false>, dutyCycle},
    {"[SOURce#:]FUNCtion:SQUare:DCYCle:ALONe", setDutyCycle<true>, nullptr},
    {"[SOURce#:]FUNCtion:SQUare:DCYCle:ADJusted", setDutyAdjusted, dutyAdjusted},
    {"OUTPut#:ATTenuation", setAttenuation, attenuation},
    {"OUTPut#[:STATe]", setOutput, output},
    {"APPLy:SINusoid", apply<Waveform::Sine>, nullptr},
    {"APPLy:SQUare", apply<Waveform::Square>, nullptr},
    {"APPLy:TRIangle", apply<Waveform::Triangle>, nullptr},
    {"APPLy", nullptr, applied},
    {"IDN-SGLT-PRI", nullptr, scopeIdentity},
    {"C#:BSWV", setBasicWave, basicWave},
    {"C#:OUTP", setChannelOutput, nullptr},
};

const std::vector<std::pair<HeaderPattern, const Entry*>>& patterns()
{
    static const std::vector<std::pair<HeaderPattern, const Entry*>> table = [] {
        std::vector<std::pair<HeaderPattern, const Entry*>> compiled;
        for (const Entry& entry : Table)
            compiled.emplace_back(HeaderPattern(entry.header), &entry);
        return compiled;
    }();
    return table;
}

// A header the table knows with another numeric suffix than 1, such as C2:BSWV or SOUR2:FREQ,
// names a channel this generator does not have.
bool knownWithOtherSuffix(const ParsedCommand& command)
{
    std::vector<Mnemonic> header = command.header;
    bool suffixed = false;
    for (Mnemonic& node : header) {
        suffixed = suffixed || node.suffix != 0;
        node.suffix = 0;
    }
    return suffixed && std::ranges::any_of(patterns(), [&header](const auto& compiled) {
               return compiled.first.matches(header);
           });
}

Step stepFor(const ParsedCommand& command)
{
    for (const auto& [pattern, entry] : patterns()) {
        if (!pattern.matches(command.header))
            continue;
        const Handler handler = command.query ? entry->query : entry->set;
        if (handler != nullptr)
            return handler(command.parameters);
    }
    if (knownWithOtherSuffix(command))
        return ErrorStep{errors::HeaderSuffix};
    return ErrorStep{errors::UndefinedHeader};
}

} // namespace

std::vector<Step> stepsForMessage(std::string_view line)
{
    std::vector<Step> steps;
    // The settings of the commands since the last that was not a setting, and whether one of
    // those commands was in error.
    std::optional<ChangeStep> settings;
    bool inError = false;
    const auto endOfSettings = [&] {
        if (settings && !inError && !settings->changes.empty())
            steps.emplace_back(std::move(*settings));
        settings.reset();
        inError = false;
    };
    for (const ParsedUnit& unit : parseLine(line)) {
        const auto* error = std::get_if<Error>(&unit);
        Step step = error ? Step(ErrorStep{*error}) : stepFor(std::get<ParsedCommand>(unit));
        if (auto* change = std::get_if<ChangeStep>(&step)) {
            if (!settings)
                settings.emplace();
            for (Change& each : change->changes)
                settings->changes.push_back(std::move(each));
            continue;
        }
        if (std::holds_alternative<ErrorStep>(step))
            inError = true;
        else
            endOfSettings();
        steps.push_back(std::move(step));
    }
    endOfSettings();
    return steps;
}

std::string identity()
{
    const InstrumentIdentity& id = instrumentIdentity();
    return id.manufacturer + "," + id.model + "," + id.serialNumber + "," + id.firmwareVersion;
}

} // namespace varlo::scpi
