#include "scpi/generator_link.h"

#include "protocol/command_wording.h"
#include "serial/comm_error_text.h"
#include "serial/line_queue.h"

#include <cmath>
#include <cstdio>

namespace varlo::scpi {

namespace {

// What a command takes on the line, for the count of what waits.
constexpr double CommandCharacters = 10;

} // namespace

GeneratorLink::GeneratorLink(SerialLink& link, const LineSettings& settings, bool logCommands)
    : link_(link), charactersPerSecond_(charactersPerSecond(settings)), logCommands_(logCommands)
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &GeneratorLink::pump);
}

void GeneratorLink::submit(std::shared_ptr<Session> session, LineRun run, Done done)
{
    jobs_.push_back({std::move(session), std::move(run), std::move(done)});
    if (!timer_.isActive())
        pump();
}

bool GeneratorLink::backlogFull() const
{
    std::size_t commands = 0;
    for (const Job& job : jobs_)
        commands += job.run.commandsLeft();
    return static_cast<double>(commands) * CommandCharacters >=
           LineQueue::MaxQueuedSeconds * charactersPerSecond_;
}

void GeneratorLink::pump()
{
    if (pumping_)
        return;
    pumping_ = true;
    bool moved = false;
    while (!jobs_.empty()) {
        Job& job = jobs_.front();
        const LineRun::Need need = job.run.advance(*job.session, settings_);
        if (const auto* write = std::get_if<LineRun::Write>(&need)) {
            if (const int wait = millisecondsUntilRoom(write->command.size()); wait > 0) {
                timer_.start(wait);
                break;
            }
            this->write(job, write->command);
        } else if (std::holds_alternative<LineRun::Drain>(need)) {
            if (const int wait = millisecondsUntilRoom(0); wait > 0) {
                timer_.start(wait);
                break;
            }
            job.run.drained(*job.session);
        } else {
            // The reply may bring the client's next line here: the job leaves first.
            Done done = std::move(job.done);
            std::optional<std::string> reply = std::get<LineRun::Finished>(need).reply;
            jobs_.pop_front();
            done(std::move(reply));
        }
        moved = true;
    }
    pumping_ = false;
    if (moved)
        Q_EMIT progressed();
}

void GeneratorLink::write(Job& job, const std::string& command)
{
    const PortState before = portState();
    const std::int16_t code = link_.setOutput(command);
    if (code == comm_code::None && logCommands_) {
        std::printf("%s\n", commandLine(command).c_str());
        std::fflush(stdout);
    }
    job.run.written(code == comm_code::None, *job.session, settings_);
    if (code == comm_code::None)
        Q_EMIT settingsChanged();
    if (portState() != before)
        Q_EMIT portStateChanged();
}

int GeneratorLink::millisecondsUntilRoom(std::size_t size) const
{
    const double excess = link_.queuedCharacters() - static_cast<double>(size);
    if (excess <= 0.5)
        return 0;
    return static_cast<int>(std::ceil(excess * 1000 / charactersPerSecond_));
}

} // namespace varlo::scpi
