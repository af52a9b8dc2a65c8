#pragma once

#include "scpi/command_table.h"
#include "scpi/generator_settings.h"
#include "scpi/scpi_status.h"

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
class LineRun {
public:
    struct Write {
        std::string command;
    };
    struct Drain {};
    struct Finished {
        std::optional<std::string> reply;
    };
    using Need = std::variant<Write, Drain, Finished>;

    explicit LineRun(std::vector<Step> steps);

    // Runs the steps that need nothing of the line, up to the next that does. Asking again
    // before that need has been met gives the same answer.
    Need advance(Session& session, GeneratorState& sent);
    // The command asked for was written (the settings advance to what it carries) or failed
    // (the settings stay, -241, and the rest of that change is dropped).
    void written(bool ok, Session& session, GeneratorState& sent);
    // Every command before the wait has gone down the line.
    void drained(Session& session);

    // Whether any step needs the line: a change, or a wait for it.
    bool needsLine() const;
    // The commands still to be written, for the owner's count of what waits.
    std::size_t commandsLeft() const;

private:
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    std::vector<PlannedWrite> writes_;
    std::size_t nextWrite_ = 0;
    std::vector<std::string> answers_;
};

} // namespace varlo::scpi
