#include "send/send_plan.h"

#include "protocol/command_wording.h"
#include "protocol/enter_sequence.h"
#include "serial/line_queue.h"

#include <cmath>

namespace varlo::send {

namespace {

std::string millisecondsText(Duration time)
{
    const auto tenths = (time.count() + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " ms";
}

// A step's commands as on a port: what the step does not name is at its start-up value, so
// the duty-adjusted bit is set only by a duty of its own.
std::vector<SequencedCommand> stepSequence(const Output& output, std::optional<double> hz,
                                           std::optional<int> dutyPercent)
{
    return enterSequence(GeneratorState{}, {hz, output.waveform, output.attenuatorOn, dutyPercent},
                         output.dutyPercent ? DutyBit::Set : DutyBit::Clear);
}

// What the command sets, in short, for progress: "12.5 kHz", "duty 60 %".
std::string shownCommand(const SequencedCommand& sequenced)
{
    const GeneratorState& set = sequenced.after;
    if (sequenced.kind == CommandKind::Duty)
        return "duty " + std::to_string(set.dutyPercent) + " %";
    return frequencyWithUnit(set.wholeHz, set.hundredths);
}

// Builds the run command by command, keeping the pause owed before the next one.
class Planner {
public:
    Planner(const LineSettings& settings, Duration gap) : settings_(settings), gap_(gap) {}

    std::optional<Refusal> add(const Step& step)
    {
        if (const auto* wait = std::get_if<Wait>(&step)) {
            pause_ += wait->time;
            return std::nullopt;
        }
        if (const auto* oneShot = std::get_if<OneShot>(&step)) {
            const Output& output = oneShot->output;
            for (SequencedCommand& sequenced :
                 stepSequence(output, oneShot->hz, output.dutyPercent))
                send(std::move(sequenced.command), shownCommand(sequenced), gap_);
            return std::nullopt;
        }
        return addSweep(std::get<Sweep>(step));
    }

    Checked<std::vector<PlannedCommand>> finish()
    {
        if (commands_.empty())
            return Refusal{"nothing to send"};
        // The dues only grow; the last one is the length of the run.
        if (commands_.back().due > MaxRunTime)
            return Refusal{"the run would take longer than a year"};
        return std::move(commands_);
    }

private:
    std::optional<Refusal> addSweep(const Sweep& sweep)
    {
        const Output& output = sweep.output;
        std::vector<std::string> pass;
        std::vector<std::string> shown;
        std::size_t longest = 0;
        for (const double hz : sweepFrequencies(sweep)) {
            SequencedCommand step = stepSequence(output, hz, std::nullopt).front();
            shown.push_back(shownCommand(step));
            pass.push_back(std::move(step.command));
            longest = std::max(longest, pass.back().size());
        }
        const Duration shortest = lineTime(settings_, longest);
        if (sweep.dwell < shortest)
            return Refusal{"--dwell " + millisecondsText(sweep.dwell) +
                           " is shorter than one command takes on the line at " +
                           std::to_string(settings_.baud) + " baud (" + millisecondsText(shortest) +
                           ")"};

        // The duty command, when the sweep has one, goes before the first step only.
        if (output.dutyPercent) {
            SequencedCommand duty = stepSequence(output, std::nullopt, output.dutyPercent).front();
            send(std::move(duty.command), shownCommand(duty), gap_);
        }
        for (int round = 0; round < sweep.repeat; ++round) {
            for (std::size_t i = 0; i < pass.size(); ++i) {
                if (round == 0 && i == 0) {
                    send(pass[i], shown[i], sweep.dwell);
                    sweepStart_ = commands_.back().due;
                    continue;
                }
                const auto index =
                    static_cast<std::int64_t>(round) * static_cast<std::int64_t>(pass.size()) +
                    static_cast<std::int64_t>(i);
                PlannedCommand step{pass[i], sweep.dwell * index, true,
                                    sweepStart_ + sweep.dwell * index, shown[i]};
                commands_.push_back(std::move(step));
                hold_ = sweep.dwell;
            }
        }
        return std::nullopt;
    }

    // The next command, due after what the previous one holds and any waits since, and not
    // before the line has carried the previous one: a shorter gap would only pile commands up
    // in the link, which refuses them once a second of line time is queued.
    void send(std::string command, std::string shown, Duration holds)
    {
        const Duration wait =
            commands_.empty()
                ? pause_
                : std::max(hold_ + pause_, lineTime(settings_, commands_.back().command.size()));
        const Duration previous = commands_.empty() ? Duration{} : commands_.back().due;
        commands_.push_back({std::move(command), wait, false, previous + wait, std::move(shown)});
        pause_ = {};
        hold_ = holds;
    }

    LineSettings settings_;
    Duration gap_;
    Duration pause_{};
    Duration hold_{};
    Duration sweepStart_{};
    std::vector<PlannedCommand> commands_;
};

} // namespace

std::string tooManyCommands()
{
    return "more than " + std::to_string(MaxPlannedCommands) + " commands in one run";
}

Checked<std::vector<PlannedCommand>> planCommands(std::span<const Step> steps,
                                                  const LineSettings& settings, Duration gap)
{
    std::int64_t commands = 0;
    for (const Step& step : steps)
        commands += commandsOf(step);
    if (commands > static_cast<std::int64_t>(MaxPlannedCommands))
        return Refusal{tooManyCommands()};
    Planner planner(settings, gap);
    for (const Step& step : steps)
        if (auto refusal = planner.add(step))
            return *refusal;
    return planner.finish();
}

std::vector<double> sweepFrequencies(const Sweep& sweep)
{
    std::vector<double> frequencies;
    const int last = sweep.steps - 1;
    for (int i = 0; i <= last; ++i) {
        const double fraction = static_cast<double>(i) / last;
        if (i == 0)
            frequencies.push_back(sweep.startHz);
        else if (i == last)
            frequencies.push_back(sweep.stopHz);
        else if (sweep.log)
            frequencies.push_back(
                std::exp(std::log(sweep.startHz) +
                         fraction * (std::log(sweep.stopHz) - std::log(sweep.startHz))));
        else
            frequencies.push_back(sweep.startHz + fraction * (sweep.stopHz - sweep.startHz));
    }
    return frequencies;
}

} // namespace varlo::send
