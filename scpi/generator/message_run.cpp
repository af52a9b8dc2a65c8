#include "scpi/generator/message_run.h"

#include <algorithm>
#include <utility>

namespace varlo::scpi {

MessageRun::MessageRun(std::vector<Step> steps) : steps_(std::move(steps))
{
    for (const Step& step : steps_)
        if (const auto* deadline = std::get_if<DeadlineStep>(&step))
            deadline_ = deadline->within;
}

MessageRun::Need MessageRun::advance(Session& session, GeneratorState& sent, GeneratorLock& lock)
{
    while (true) {
        if (nextWrite_ < writes_.size())
            return Write{writes_[nextWrite_].command, nextWrite_ == 0,
                         writesSweepStep_ && writes_[nextWrite_].kind == CommandKind::Frequency};
        if (next_ == steps_.size())
            break;
        Step& step = steps_[next_];
        if (std::holds_alternative<WaitStep>(step))
            return Drain{};
        ++next_;
        if (const auto* error = std::get_if<ErrorStep>(&step)) {
            session.addError(error->error);
        } else if (const auto* status = std::get_if<StatusStep>(&step)) {
            status->apply(session, status->value);
        } else if (const auto* query = std::get_if<QueryStep>(&step)) {
            answers_.push_back(query->answer != nullptr ? query->answer(session, sent)
                                                        : query->text);
        } else if (const auto* locking = std::get_if<LockStep>(&step)) {
            runLockStep(locking->action, session, lock);
        } else if (const auto* change = std::get_if<ChangeStep>(&step)) {
            if (const auto holder = lock.heldByOther(session)) {
                session.addError({errors::CommandProtected, LockedByWords + *holder});
                session.noteSettingDropped();
                kept_.reset();
                continue;
            }
            writes_ = planFor(next_ - 1, sent);
            nextWrite_ = 0;
            writesSweepStep_ = std::ranges::any_of(change->changes, [](const Change& each) {
                const auto* frequency = std::get_if<SetFrequency>(&each);
                return frequency != nullptr && frequency->sweepStep;
            });
        }
    }
    if (answers_.empty())
        return Finished{};
    std::string reply = answers_.front();
    for (std::size_t i = 1; i < answers_.size(); ++i)
        reply += ";" + answers_[i];
    return Finished{std::move(reply)};
}

void MessageRun::runLockStep(LockStep::Action action, Session& session, GeneratorLock& lock)
{
    switch (action) {
    case LockStep::Action::Request:
        answers_.push_back(lock.request(session) ? "1" : "0");
        break;
    case LockStep::Action::Release:
        if (!lock.release(session))
            session.addError({errors::ExecutionError, "the lock is not held by this client"});
        break;
    case LockStep::Action::Owner:
        answers_.push_back(lock.holder().value_or("NONE"));
        break;
    }
}

void MessageRun::written(GeneratorState& sent)
{
    if (nextWrite_ >= writes_.size())
        return;
    sent = writes_[nextWrite_].after;
    ++nextWrite_;
}

void MessageRun::notWritten(Session& session, const DetailedError& why)
{
    if (nextWrite_ >= writes_.size())
        return;
    session.addError(why);
    session.noteSettingDropped();
    writes_.clear();
    nextWrite_ = 0;
}

void MessageRun::drained(Session& session)
{
    if (next_ >= steps_.size() || !std::holds_alternative<WaitStep>(steps_[next_]))
        return;
    switch (std::get<WaitStep>(steps_[next_]).then) {
    case WaitStep::Then::Nothing:
        break;
    case WaitStep::Then::SetOperationComplete:
        if (!session.takeSettingDropped())
            session.setEvents(Session::OperationComplete);
        break;
    case WaitStep::Then::AnswerOne:
        if (!session.takeSettingDropped())
            answers_.push_back("1");
        break;
    }
    ++next_;
}

void MessageRun::notDrained(Session& session, const DetailedError& why)
{
    if (next_ >= steps_.size() || !std::holds_alternative<WaitStep>(steps_[next_]))
        return;
    // A dropped setting before it has told the cause already.
    if (!session.takeSettingDropped())
        session.addError(why);
    ++next_;
}

bool MessageRun::needsLine() const
{
    for (const Step& step : steps_)
        if (std::holds_alternative<ChangeStep>(step) || std::holds_alternative<WaitStep>(step))
            return true;
    return false;
}

bool MessageRun::changesSettings() const
{
    for (const Step& step : steps_)
        if (std::holds_alternative<ChangeStep>(step))
            return true;
    return false;
}

std::size_t MessageRun::plannedCharacters(GeneratorState& projected)
{
    std::size_t characters = 0;
    for (std::size_t i = nextWrite_; i < writes_.size(); ++i) {
        characters += writes_[i].command.size();
        projected = writes_[i].after;
    }
    kept_.reset();
    for (std::size_t i = next_; i < steps_.size(); ++i) {
        const auto* change = std::get_if<ChangeStep>(&steps_[i]);
        if (change == nullptr)
            continue;
        std::vector<SequencedCommand> writes = planWrites(projected, change->changes);
        for (const SequencedCommand& write : writes)
            characters += write.command.size();
        const GeneratorState from = projected;
        if (!writes.empty())
            projected = writes.back().after;
        if (!kept_)
            kept_ = KeptPlan{i, from, std::move(writes)};
    }
    return characters;
}

std::vector<SequencedCommand> MessageRun::planFor(std::size_t step, const GeneratorState& sent)
{
    std::optional<KeptPlan> kept = std::exchange(kept_, std::nullopt);
    if (kept && kept->step == step && kept->from == sent)
        return std::move(kept->writes);
    return planWrites(sent, std::get<ChangeStep>(steps_[step]).changes);
}

std::size_t MessageRun::settingsLeft() const
{
    std::size_t left = nextWrite_ < writes_.size() ? 1 : 0;
    for (std::size_t i = next_; i < steps_.size(); ++i)
        left += std::holds_alternative<ChangeStep>(steps_[i]) ? 1 : 0;
    return left;
}

} // namespace varlo::scpi
