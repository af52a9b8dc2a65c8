#include "scpi/generator/generator_link.h"

#include "protocol/command_wording.h"
#include "scpi/generator/journal.h"
#include "serial/chosen_port.h"
#include "serial/comm_error_text.h"

#include <cstdio>

namespace varlo::scpi {

namespace {

constexpr std::chrono::seconds RetryInterval{1};

std::string settingsCount(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " waiting setting" : " waiting settings");
}

// "0.8 s", "2 s".
std::string secondsText(std::chrono::milliseconds time)
{
    const auto count = time.count();
    std::string text = std::to_string(count / 1000);
    if (count % 1000 != 0) {
        std::string fraction = std::to_string(1000 + count % 1000).substr(1);
        while (fraction.back() == '0')
            fraction.pop_back();
        text += "." + fraction;
    }
    return text + " s";
}

} // namespace

GeneratorLink::GeneratorLink(SerialLink& link, const PortChoice& port, const LineSettings& settings,
                             bool logCommands)
    : link_(link), port_(port), lineSettings_(settings), name_(varlo::portName(port)),
      logCommands_(logCommands)
{
    link_.watchForHangUp();
    connect(&link_, &SerialLink::writeReady, this, &GeneratorLink::onWriteReady);
    connect(&link_, &SerialLink::failed, this, [this] {
        lose(link_.failureCause());
        pump();
    });
    stallTimer_.setSingleShot(true);
    connect(&stallTimer_, &QTimer::timeout, this, &GeneratorLink::onStalled);
    retryTimer_.setInterval(RetryInterval);
    connect(&retryTimer_, &QTimer::timeout, this, &GeneratorLink::retry);
    deadlineTimer_.setSingleShot(true);
    connect(&deadlineTimer_, &QTimer::timeout, this, &GeneratorLink::pump);
    lock_.onChange([this] { Q_EMIT lockChanged(); });
    sweepEnd_.setSingleShot(true);
    connect(&sweepEnd_, &QTimer::timeout, this, &GeneratorLink::sweepChanged);
}

std::string GeneratorLink::open()
{
    const std::int16_t code = openChosenPort(link_, port_, lineSettings_);
    if (code != comm_code::None) {
        lastOpenFailure_ = openFailureText(link_, port_, code);
        fault_ = openFault(code, lastOpenFailure_);
        return lastOpenFailure_;
    }
    fault_.reset();
    setState(PortState::Open);
    return {};
}

void GeneratorLink::waitForPort()
{
    retryTimer_.start();
}

void GeneratorLink::submit(std::shared_ptr<Session> session, MessageRun run, Done done)
{
    const long long characters = static_cast<long long>(run.plannedCharacters(projected_));
    waitingCharacters_ += characters;
    const std::optional<std::chrono::milliseconds> within = run.deadline();
    jobs_.push_back({std::move(session), std::move(run), std::move(done), characters, within,
                     within ? QDeadlineTimer(*within) : QDeadlineTimer(QDeadlineTimer::Forever)});
    // Behind a line that waits for the line, a new one has nothing to do yet.
    if (!headWaits_)
        pump();
}

bool GeneratorLink::backlogFull() const
{
    return static_cast<double>(waitingCharacters_) >= link_.lineCapacity();
}

QString GeneratorLink::portName() const
{
    return QString::fromStdString(name_);
}

void GeneratorLink::clientArrived(ClientKind kind)
{
    ++clients_[static_cast<std::size_t>(kind)];
    Q_EMIT clientsChanged();
}

void GeneratorLink::clientLeft(ClientKind kind)
{
    --clients_[static_cast<std::size_t>(kind)];
    Q_EMIT clientsChanged();
}

std::size_t GeneratorLink::stop()
{
    const std::size_t settings = settingsWaiting();
    jobs_.clear();
    stallTimer_.stop();
    retryTimer_.stop();
    deadlineTimer_.stop();
    return settings;
}

std::optional<SweepWatch::Sweep> GeneratorLink::sweep() const
{
    return sweepWatch_.sweepAt(SweepWatch::Clock::now());
}

std::size_t GeneratorLink::settingsWaiting() const
{
    std::size_t settings = 0;
    for (const Job& job : jobs_)
        settings += job.run.settingsLeft();
    return settings;
}

void GeneratorLink::pump()
{
    if (pumping_)
        return;
    pumping_ = true;
    headWaits_ = false;
    deadlineTimer_.stop();
    bool moved = false;
    bool changed = false;
    while (!jobs_.empty()) {
        Job& job = jobs_.front();
        const MessageRun::Need need = job.run.advance(*job.session, settings_, lock_);
        // Only the line taking something ends a wait that may become a stall.
        bool lineMoved = false;
        if (const auto* write = std::get_if<MessageRun::Write>(&need)) {
            const Written written = writeCommand(job, *write);
            if (written == Written::Waits)
                break;
            lineMoved = written == Written::Whole;
            changed = changed || lineMoved;
        } else if (std::holds_alternative<MessageRun::Drain>(need)) {
            if (!drain(job))
                break;
            lineMoved = true;
        } else {
            finishFront(std::get<MessageRun::Finished>(need).reply);
        }
        moved = true;
        if (lineMoved)
            stallTimer_.stop();
    }
    if (jobs_.empty()) {
        projected_ = settings_;
        waitingCharacters_ = 0;
        stallTimer_.stop(); // nothing is due
    }
    pumping_ = false;
    if (changed)
        Q_EMIT settingsChanged();
    if (moved)
        Q_EMIT progressed();
}

GeneratorLink::Written GeneratorLink::writeCommand(Job& job, const MessageRun::Write& write)
{
    const std::string& command = write.command;
    if (!fault_ && write.beginsSettings && job.deadline.hasExpired()) {
        job.run.notWritten(*job.session,
                           {errors::ExecutionError, "not sent within " + secondsText(*job.within) +
                                                        ": " + name_ + " is busy"});
        countGone(job, command.size());
        return Written::Dropped;
    }
    if (!fault_) {
        // At most one command on its way before this one.
        if (link_.queuedCharacters() > static_cast<double>(command.size())) {
            waitForCommand(job, write);
            return Written::Waits;
        }
        switch (link_.writeNow(command)) {
        case SerialLink::Written::Whole:
            if (logCommands_) {
                std::printf("%s\n", commandLine(command).c_str());
                std::fflush(stdout);
            }
            job.run.written(settings_);
            countGone(job, command.size());
            if (write.sweepStep) {
                sweepWatch_.stepSent(settings_.wholeHz, settings_.hundredths,
                                     SweepWatch::Clock::now());
                // Just past the window, so that the sweep has ended when it is asked.
                sweepEnd_.start(SweepWatch::Window + std::chrono::milliseconds(50));
                Q_EMIT sweepChanged();
            }
            return Written::Whole;
        case SerialLink::Written::LineFull:
            waitForCommand(job, write);
            return Written::Waits;
        case SerialLink::Written::PortGone:
        case SerialLink::Written::NotOpen:
            lose(link_.failureCause());
            break;
        }
    }
    job.run.notWritten(*job.session, *fault_);
    countGone(job, command.size());
    return Written::Dropped;
}

// *OPC, *OPC? and *WAI: once every command before them has left. A stalled line will not
// carry them; a port that is not open holds nothing more.
bool GeneratorLink::drain(Job& job)
{
    if (state_ == PortState::Stalled) {
        job.run.notDrained(*job.session, *fault_);
        return true;
    }
    if (link_.queuedCharacters() > 0) {
        waitForLine(0);
        return false;
    }
    job.run.drained(*job.session);
    return true;
}

// The reply may bring the client's next line here: the job leaves first.
void GeneratorLink::finishFront(std::optional<std::string> reply)
{
    waitingCharacters_ -= jobs_.front().characters;
    Done done = std::move(jobs_.front().done);
    jobs_.pop_front();
    done(std::move(reply));
}

void GeneratorLink::countGone(Job& job, std::size_t characters)
{
    job.characters -= static_cast<long long>(characters);
    waitingCharacters_ -= static_cast<long long>(characters);
}

void GeneratorLink::waitForLine(std::size_t queuedAtMost)
{
    headWaits_ = true;
    link_.notifyWhenReady(queuedAtMost);
    if (!stallTimer_.isActive())
        stallTimer_.start(StallLimit);
}

// Settings with a deadline wait for the line until it at the latest.
void GeneratorLink::waitForCommand(const Job& job, const MessageRun::Write& write)
{
    waitForLine(write.command.size());
    if (write.beginsSettings && !job.deadline.isForever())
        deadlineTimer_.start(static_cast<int>(job.deadline.remainingTime()));
}

void GeneratorLink::onWriteReady()
{
    if (state_ == PortState::Stalled) {
        fault_.reset();
        setState(PortState::Open);
        journal(name_ + " takes commands again");
    }
    pump();
}

void GeneratorLink::onStalled()
{
    if (state_ != PortState::Open || jobs_.empty())
        return;
    const std::string why =
        name_ + " has taken nothing for " + std::to_string(StallLimit.count()) + " s";
    fault_ = DetailedError{errors::HardwareError, why};
    journal(why + "; " + settingsCount(settingsWaiting()) + " dropped");
    setState(PortState::Stalled);
    // Told when it moves again.
    link_.notifyWhenReady(0);
    pump();
}

void GeneratorLink::lose(const std::string& cause)
{
    if (state_ == PortState::Gone || state_ == PortState::WaitingForPort)
        return;
    fault_ = DetailedError{errors::HardwareMissing, name_ + " is gone"};
    journal(name_ + " is gone (" + cause + "); " + settingsCount(settingsWaiting()) +
            " dropped; trying it again every second");
    lastOpenFailure_.clear();
    stallTimer_.stop();
    setState(PortState::Gone);
    retryTimer_.start();
}

// Every second while the port is not open. A reason other than the device missing is told
// once each time it changes: a returned adapter that another program took, say.
void GeneratorLink::retry()
{
    const std::int16_t code = link_.setPortOpen(true);
    if (code == comm_code::None) {
        retryTimer_.stop();
        journal(name_ + (state_ == PortState::Gone ? " is open again" : " is open"));
        fault_.reset();
        lastOpenFailure_.clear();
        setState(PortState::Open);
        pump();
        return;
    }
    const std::string why = openFailureText(link_, port_, code);
    fault_ = openFault(code, why);
    if (code != comm_code::HardwareGone && why != lastOpenFailure_)
        journal("cannot open " + why + "; trying again every second");
    lastOpenFailure_ = why;
}

// A device that is not there is missing hardware; one that is there but cannot be opened
// (busy, not for this user) a hardware error, with the reason the open gave.
DetailedError GeneratorLink::openFault(std::int16_t code, const std::string& why) const
{
    if (code == comm_code::HardwareGone)
        return {errors::HardwareMissing,
                name_ + (state_ == PortState::Gone ? " is gone" : " is missing")};
    return {errors::HardwareError, why};
}

void GeneratorLink::setState(PortState state)
{
    if (state == state_)
        return;
    state_ = state;
    Q_EMIT portStateChanged();
}

} // namespace varlo::scpi
