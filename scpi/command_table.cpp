#include "scpi/command_table.h"

#include "protocol/command_encoding.h"
#include "protocol/command_wording.h"
#include "protocol/generator_limits.h"
#include "scpi/instrument_identity.h"
#include "scpi/scpi_parser.h"
#include "scpi/scpi_values.h"

#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <variant>

namespace varlo::scpi {

namespace {

using Parameters = std::span<const Parameter>;
using Handler = Step (*)(Parameters);

// A header written as SCPI manuals write it: "[SOURce#:]FREQuency[:CW|:FIXed]". Brackets
// make a node optional, "|" separates the forms of a node, "#" lets a node carry the
// numeric suffix 1 (given or left out).
struct Entry {
    std::string_view header;
    Handler set = nullptr;
    Handler query = nullptr;
};

std::optional<Error> countIs(Parameters parameters, std::size_t count)
{
    if (parameters.size() < count)
        return Error::MissingParameter;
    if (parameters.size() > count)
        return Error::ParameterNotAllowed;
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
        return Error::OutOfRange;
    return value;
}

std::variant<Waveform, Error> waveformOf(const Parameter& parameter)
{
    const std::string_view word = parameter.text;
    if (parameter.quoted || !isLetter(word.front()))
        return Error::DataType;
    if (matchesMnemonic(word, "SINusoid"))
        return Waveform::Sine;
    if (matchesMnemonic(word, "SQUare"))
        return Waveform::Square;
    if (matchesMnemonic(word, "TRIangle"))
        return Waveform::Triangle;
    return Error::IllegalValue;
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
        return ErrorStep{Error::IllegalValue};
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
        return Error::IllegalValue;
    if (!(*value >= 0 && *value <= 255))
        return Error::OutOfRange;
    return std::round(*value);
}

Step noParameters(Parameters parameters, Step step)
{
    if (!parameters.empty())
        return ErrorStep{Error::ParameterNotAllowed};
    return step;
}

Step identify(Parameters p)
{
    return noParameters(p, answer(identity()));
}

Step reset(Parameters p)
{
    return noParameters(p, ChangeStep{Reset{}});
}

Step clearStatus(Parameters p)
{
    return noParameters(p, StatusStep{[](Session& session, int) { session.clearStatus(); }});
}

Step setEventEnable(Parameters p)
{
    return stepOr(registerValue(p), [](double mask) -> Step {
        return StatusStep{[](Session& session, int value) {
                              session.setEventEnable(static_cast<std::uint8_t>(value));
                          },
                          static_cast<int>(mask)};
    });
}

Step eventEnable(Parameters p)
{
    return noParameters(p, answerFrom([](Session& session, const GeneratorState&) {
                            return std::to_string(session.eventEnable());
                        }));
}

Step eventStatus(Parameters p)
{
    return noParameters(p, answerFrom([](Session& session, const GeneratorState&) {
                            return std::to_string(session.takeEvents());
                        }));
}

Step setServiceEnable(Parameters p)
{
    return stepOr(registerValue(p), [](double mask) -> Step {
        return StatusStep{[](Session& session, int value) {
                              session.setServiceEnable(static_cast<std::uint8_t>(value));
                          },
                          static_cast<int>(mask)};
    });
}

Step serviceEnable(Parameters p)
{
    return noParameters(p, answerFrom([](Session& session, const GeneratorState&) {
                            return std::to_string(session.serviceEnable());
                        }));
}

Step statusByte(Parameters p)
{
    return noParameters(p, answerFrom([](Session& session, const GeneratorState&) {
                            return std::to_string(session.statusByte());
                        }));
}

Step selfTest(Parameters p)
{
    return noParameters(p, answer("0"));
}

Step operationComplete(Parameters p)
{
    return noParameters(p, WaitStep{WaitStep::Then::SetOperationComplete});
}

Step operationCompleteQuery(Parameters p)
{
    return noParameters(p, WaitStep{WaitStep::Then::AnswerOne});
}

Step waitToContinue(Parameters p)
{
    return noParameters(p, WaitStep{WaitStep::Then::Nothing});
}

Step nextError(Parameters p)
{
    return noParameters(
        p, answerFrom([](Session& session, const GeneratorState&) { return session.nextError(); }));
}

Step errorCount(Parameters p)
{
    return noParameters(p, answerFrom([](Session& session, const GeneratorState&) {
                            return std::to_string(session.errorCount());
                        }));
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
                  [](double hz) -> Step { return ChangeStep{SetFrequency{hz}}; });
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
                  [](Waveform waveform) -> Step { return ChangeStep{SetWaveform{waveform}}; });
}

Step function(Parameters p)
{
    return noParameters(p, answerFrom([](Session&, const GeneratorState& sent) {
                            return waveformMnemonic(sent.waveform);
                        }));
}

Step setDutyCycle(Parameters p)
{
    if (const auto error = countIs(p, 1))
        return ErrorStep{*error};
    return stepOr(numberIn(p[0], PercentUnits, MinDutyPercent, MaxDutyPercent,
                           UnadjustedDutyPercent,
                           [](double percent) {
                               return percent >= MinDutyPercent && percent <= MaxDutyPercent;
                           }),
                  [](double percent) -> Step {
                      return ChangeStep{SetDuty{static_cast<int>(std::lround(percent))}};
                  });
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
        return ErrorStep{Error::IllegalValue};
    return ChangeStep{SetAttenuator{on}};
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
            return ErrorStep{Error::SettingsConflict};
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
        return ErrorStep{Error::ParameterNotAllowed};
    if (p.empty())
        return ChangeStep{Apply{W, std::nullopt}};
    return stepOr(frequencyOf(p[0]), [](double hz) -> Step { return ChangeStep{Apply{W, hz}}; });
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

constexpr Entry Table[] = {
    {"*IDN", nullptr, identify},
    {"*RST", reset, nullptr},
    {"*CLS", clearStatus, nullptr},
    {"*ESE", setEventEnable, eventEnable},
    {"*ESR", nullptr, eventStatus},
    {"*SRE", setServiceEnable, serviceEnable},
    {"*STB", nullptr, statusByte},
    {"*TST", nullptr, selfTest},
    {"*OPC", operationComplete, operationCompleteQuery},
    {"*WAI", waitToContinue, nullptr},
    {"SYSTem:ERRor[:NEXT]", nullptr, nextError},
    {"SYSTem:ERRor:COUNt", nullptr, errorCount},
    {"SYSTem:VERSion", nullptr, version},
    {"[SOURce#:]FREQuency[:CW|:FIXed]", setFrequency, frequency},
    {"[SOURce#:]FUNCtion[:SHAPe]", setFunction, function},
    {"[SOURce#:]FUNCtion:SQUare:DCYCle", setDutyCycle, dutyCycle},
    {"OUTPut#:ATTenuation", setAttenuation, attenuation},
    {"OUTPut#[:STATe]", setOutput, output},
    {"APPLy:SINusoid", apply<Waveform::Sine>, nullptr},
    {"APPLy:SQUare", apply<Waveform::Square>, nullptr},
    {"APPLy:TRIangle", apply<Waveform::Triangle>, nullptr},
    {"APPLy", nullptr, applied},
};

struct Node {
    std::vector<std::string_view> forms;
    bool optional = false;
    bool suffix = false;
};

std::vector<Node> nodesOf(std::string_view header)
{
    std::vector<Node> nodes;
    std::size_t i = 0;
    while (i < header.size()) {
        if (header[i] == ':') {
            ++i;
            continue;
        }
        Node node;
        std::string_view text;
        if (header[i] == '[') {
            const std::size_t close = header.find(']', i);
            text = header.substr(i + 1, close - i - 1);
            node.optional = true;
            i = close + 1;
        } else {
            const std::size_t end = header.find_first_of(":[", i);
            text = header.substr(i, end == std::string_view::npos ? end : end - i);
            i = end == std::string_view::npos ? header.size() : end;
        }
        while (!text.empty()) {
            std::size_t bar = text.find('|');
            std::string_view form = text.substr(0, bar);
            text = bar == std::string_view::npos ? std::string_view() : text.substr(bar + 1);
            while (!form.empty() && form.front() == ':')
                form.remove_prefix(1);
            while (!form.empty() && form.back() == ':')
                form.remove_suffix(1);
            if (!form.empty() && form.back() == '#') {
                node.suffix = true;
                form.remove_suffix(1);
            }
            node.forms.push_back(form);
        }
        nodes.push_back(std::move(node));
    }
    return nodes;
}

bool nodeMatches(const Node& node, const Mnemonic& mnemonic)
{
    if (mnemonic.suffix != 0 && !(node.suffix && mnemonic.suffix == 1))
        return false;
    for (const std::string_view form : node.forms)
        if (matchesMnemonic(mnemonic.name, form))
            return true;
    return false;
}

bool headerMatches(std::span<const Node> nodes, std::span<const Mnemonic> header)
{
    if (nodes.empty())
        return header.empty();
    if (!header.empty() && nodeMatches(nodes.front(), header.front()) &&
        headerMatches(nodes.subspan(1), header.subspan(1)))
        return true;
    return nodes.front().optional && headerMatches(nodes.subspan(1), header);
}

struct CompiledEntry {
    std::vector<Node> nodes;
    const Entry* entry;
};

const std::vector<CompiledEntry>& compiledTable()
{
    static const std::vector<CompiledEntry> table = [] {
        std::vector<CompiledEntry> compiled;
        for (const Entry& entry : Table)
            compiled.push_back({nodesOf(entry.header), &entry});
        return compiled;
    }();
    return table;
}

Step stepFor(const ParsedCommand& command)
{
    for (const CompiledEntry& compiled : compiledTable()) {
        if (!headerMatches(compiled.nodes, command.header))
            continue;
        const Handler handler = command.query ? compiled.entry->query : compiled.entry->set;
        if (handler != nullptr)
            return handler(command.parameters);
    }
    return ErrorStep{Error::UndefinedHeader};
}

} // namespace

std::vector<Step> stepsForLine(std::string_view line)
{
    std::vector<Step> steps;
    for (const ParsedUnit& unit : parseLine(line)) {
        if (const auto* error = std::get_if<Error>(&unit))
            steps.emplace_back(std::in_place_type<ErrorStep>, ErrorStep{*error});
        else
            steps.push_back(stepFor(std::get<ParsedCommand>(unit)));
    }
    return steps;
}

std::string identity()
{
    const InstrumentIdentity& id = instrumentIdentity();
    return id.manufacturer + "," + id.model + "," + id.serialNumber + "," + id.firmwareVersion;
}

} // namespace varlo::scpi
