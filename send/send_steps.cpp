#include "send_steps.h"

namespace varlo::send {

namespace {

// The words of one step, read left to right; refusals stop at the first bad word.
class StepReader {
public:
    explicit StepReader(std::span<const std::string> words) : words_(words) {}

    Checked<Step> read()
    {
        while (next_ < words_.size() && !refusal_) {
            const std::string& word = words_[next_++];
            if (word.starts_with("--"))
                readOption(word);
            else
                readPositional(word);
        }
        if (refusal_)
            return *refusal_;
        return finish();
    }

private:
    std::optional<std::string> value(const std::string& option)
    {
        if (next_ >= words_.size()) {
            refuse(option + " needs a value");
            return std::nullopt;
        }
        return words_[next_++];
    }

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

    void readOption(const std::string& option)
    {
        if (option == "--log") {
            log_ = true;
        } else if (option == "--sweep") {
            if (sweep_ || frequency_)
                return refuse("one step takes one frequency or one --sweep");
            const auto start = value(option);
            const auto stop = start ? value(option) : std::nullopt;
            if (!stop)
                return refuse("--sweep needs START and STOP");
            const auto startHz = take(parseFrequency(*start));
            const auto stopHz = startHz ? take(parseFrequency(*stop)) : std::nullopt;
            if (stopHz)
                sweep_ = std::pair(*startHz, *stopHz);
        } else if (option == "--steps") {
            if (const auto text = value(option))
                steps_ = take(parseCount(*text, option, 2, MaxSweepSteps));
        } else if (option == "--dwell") {
            if (const auto text = value(option))
                dwell_ = take(parseTime(*text));
        } else if (option == "--repeat") {
            if (const auto text = value(option))
                repeat_ = take(parseCount(*text, option, 1, MaxSweepSteps));
        } else if (option == "--attenuator") {
            if (const auto text = value(option))
                if (const auto on = take(parseOnOff(*text)))
                    output_.attenuatorOn = *on;
        } else if (option == "--duty") {
            if (const auto text = value(option))
                output_.dutyPercent = take(parseDuty(*text));
        } else {
            refuse("unknown option " + option);
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

    std::span<const std::string> words_;
    std::size_t next_ = 0;
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

Checked<Step> parseStepWords(std::span<const std::string> words)
{
    return StepReader(words).read();
}

std::vector<std::string> splitOptionValues(std::span<const std::string> words)
{
    std::vector<std::string> split;
    for (const std::string& word : words) {
        const std::size_t equals = word.find('=');
        if (word.starts_with("--") && equals != std::string::npos) {
            split.push_back(word.substr(0, equals));
            split.push_back(word.substr(equals + 1));
        } else {
            split.push_back(word);
        }
    }
    return split;
}

} // namespace varlo::send
