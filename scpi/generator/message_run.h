#pragma once

#include "scpi/generator/generator_lock.h"
#include "scpi/generator/generator_settings.h"
#include "scpi/language/command_table.h"
#include "scpi/language/scpi_status.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace varlo::scpi {

// One line of a client, carried out step by step against the generator's settings. Whoever
// owns the line asks what the run needs next: a command written, the line drained, or
// nothing more, with the line's reply (its queries' answers joined by ";", none when it had
// no query that answered).
class MessageRun {
public:
    struct Write {
        std::string command;
        bool beginsSettings = false; // the first command of settings that go together
        bool sweepStep = false;      // the frequency command of an oscilloscope's step
    };
    struct Drain {};
    struct Finished {
        std::optional<std::string> reply;
    };
    using Need = std::variant<Write, Drain, Finished>;

    explicit MessageRun(std::vector<Step> steps);

    // The time the line's settings have from its arrival, when it set one (SYSTem:DEADline):
    // past it, settings not yet begun are not written but dropped.
    std::optional<std::chrono::milliseconds> deadline() const { return deadline_; }

    // Runs the steps that need nothing of the line, up to the next that does. Asking again
    // before that need has been met gives the same answer. A change whose turn comes while
    // another client holds the lock is refused whole (-203, naming the holder), as a setting
    // dropped.
    Need advance(Session& session, GeneratorState& sent, GeneratorLock& lock);
    // The command asked for has reached the line: the settings advance to what it carries.
    void written(GeneratorState& sent);
    // The command asked for was not sent: the settings stay, the client gets the error with
    // its cause, and the rest of that change is dropped.
    void notWritten(Session& session, const DetailedError& why);
    // Every command before the wait has gone down the line. *OPC and *OPC? report the
    // operations complete unless a setting of this client was dropped since they last did.
    void drained(Session& session);
    // The line would not carry what was sent before the wait: the wait ends without
    // reporting anything complete, and the client gets the error with its cause unless a
    // dropped setting of its own has told it already.
    void notDrained(Session& session, const DetailedError& why);

    // Whether any step needs the line: a change, or a wait for it.
    bool needsLine() const;
    // Whether the line holds a setting, which another client's lock would refuse.
    bool changesSettings() const;
    // The characters the commands still to be written take on the line, the changes not yet
    // begun planned from `projected`, which is moved past them. The first change's plan is
    // kept for its turn, and used then if the settings sent are still those it was planned
    // from, so that a setting to an idle line is planned once.
    std::size_t plannedCharacters(GeneratorState& projected);
    // The settings not yet sent whole, those that go together counted once.
    std::size_t settingsLeft() const;

private:
    struct KeptPlan {
        std::size_t step = 0;
        GeneratorState from;
        std::vector<SequencedCommand> writes;
    };
    std::vector<SequencedCommand> planFor(std::size_t step, const GeneratorState& sent);
    void runLockStep(LockStep::Action action, Session& session, GeneratorLock& lock);

    std::vector<Step> steps_;
    std::optional<std::chrono::milliseconds> deadline_;
    std::size_t next_ = 0;
    std::vector<SequencedCommand> writes_;
    std::size_t nextWrite_ = 0;
    bool writesSweepStep_ = false;
    std::vector<std::string> answers_;
    std::optional<KeptPlan> kept_;
};

} // namespace varlo::scpi
