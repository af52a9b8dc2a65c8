#include "send/send_steps.h"

namespace varlo::send {

namespace {

// The words of one step, taken left to right; refusals stop at the first bad word.
class StepReader {
public:
    Checked<Step> read(std::span<const OptionWord> words, const std::optional<Refusal>& unread)
    {
        for (const OptionWord& word : words) {
            if (word.row)
                readOption(word.row->option, word.values);
            else
                readPositional(word.text);
            if (refusal_)
                return *refusal_;
        }
        if (unread)
            return *unread;
        return finish();
    }

private:
    template <class T> std::optional<T> take(Checked<T> checked)
    {
        if (const Refusal* refusal = refusalOf(checked)) {
            refuse(refusal->message);
            return std::nullopt;
        }
        return std::get<T>(checked);
    }

    void refuse(std::string message)
    {
        if (!refusal_)
            refusal_ = Refusal{std::move(message)};
    }

    void readOption(Option option, const std::vector<std::string>& values)
    {
        switch (option) {
        case Option::Log:
            log_ = true;
            break;
        case Option::Sweep: {
            if (sweep_ || frequency_)
                return refuse("one step takes one frequency or one --sweep");
            const auto startHz = take(forOption("--sweep", parseFrequency(values[0])));
            const auto stopHz =
                startHz ? take(forOption("--sweep", parseFrequency(values[1]))) : std::nullopt;
            if (stopHz)
                sweep_ = std::pair(*startHz, *stopHz);
            break;
        }
        case Option::Steps:
            steps_ = take(parseCount(values[0], "--steps", 2, MaxSweepSteps));
            break;
        case Option::Dwell:
            dwell_ = take(forOption("--dwell", parseTime(values[0])));
            break;
        case Option::Repeat:
            repeat_ = take(parseCount(values[0], "--repeat", 1, MaxSweepSteps));
            break;
        case Option::Attenuator:
            if (const auto on = take(parseOnOff(values[0])))
                output_.attenuatorOn = *on;
            break;
        case Option::Duty:
            output_.dutyPercent = take(parseDuty(values[0]));
            break;
        default:
            // The command line keeps its own options; only a step's reach here.
            break;
        }
    }

    void readPositional(const std::string& word)
    {
        if (const auto waveform = waveformNamed(word)) {
            if (namedWaveform_)
                return refuse("two waveforms: " + *namedWaveform_ + " and " + word);
            namedWaveform_ = word;
            output_.waveform = *waveform;
            return;
        }
        const char first = word.empty() ? '\0' : word.front();
        const bool letter = (first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z');
        if (letter && !isFrequencyUnit(word))
            return refuse(unknownWaveform(word).message);
        if (frequency_ || sweep_)
            return refuse("unexpected \"" + word + "\" (one step takes one frequency)");
        frequency_ = take(parseFrequency(word));
    }

    Checked<Step> finish() const
    {
        if (!sweep_) {
            for (const auto& [given, option] :
                 {std::pair(steps_.has_value(), "--steps"), std::pair(log_, "--log"),
                  std::pair(dwell_.has_value(), "--dwell"),
                  std::pair(repeat_.has_value(), "--repeat")})
                if (given)
                    return Refusal{std::string(option) +
                                   " belongs to a sweep (--sweep START STOP)"};
            if (!frequency_)
                return Refusal{"no frequency given"};
            return OneShot{*frequency_, output_};
        }
        if (!steps_)
            return Refusal{"a sweep needs --steps N (2 or more)"};
        Sweep sweep;
        sweep.startHz = sweep_->first;
        sweep.stopHz = sweep_->second;
        sweep.steps = *steps_;
        sweep.log = log_;
        sweep.dwell = dwell_.value_or(sweep.dwell);
        sweep.repeat = repeat_.value_or(1);
        sweep.output = output_;
        return sweep;
    }

    std::optional<Refusal> refusal_;
    Output output_;
    std::optional<std::string> namedWaveform_;
    std::optional<double> frequency_;
    std::optional<std::pair<double, double>> sweep_;
    std::optional<int> steps_;
    std::optional<Duration> dwell_;
    std::optional<int> repeat_;
    bool log_ = false;
};

} // namespace

std::int64_t commandsOf(const Step& step)
{
    if (const auto* oneShot = std::get_if<OneShot>(&step))
        return oneShot->output.dutyPercent ? 2 : 1;
    if (const auto* sweep = std::get_if<Sweep>(&step))
        return std::int64_t{sweep->steps} * sweep->repeat + (sweep->output.dutyPercent ? 1 : 0);
    return 0;
}

Checked<Step> stepFrom(std::span<const OptionWord> words, const std::optional<Refusal>& unread)
{
    return StepReader().read(words, unread);
}

Checked<Step> parseStepWords(std::span<const std::string> words)
{
    const ReadWords read = readWords(words, true);
    return stepFrom(read.words, read.refusal);
}

} // namespace varlo::send
