#pragma once

#include "protocol/generator_state.h"
#include "scpi/language/scpi_status.h"
#include "scpi/language/setting_changes.h"

#include <chrono>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace varlo::scpi {

// What the commands of a line come to. Steps run in order: an error goes to the client's
// queue, a status step works on its session, a query answers from the session and the
// settings sent, a change goes down the line, and a wait holds the rest of the line until
// the line has carried every command before it.
struct ErrorStep {
    Error error;
};
struct StatusStep {
    void (*apply)(Session&, int value) = nullptr;
    int value = 0;
};
struct QueryStep {
    // Without a function, the text is the answer.
    std::string (*answer)(Session&, const GeneratorState&) = nullptr;
    std::string text;
};
// The settings of consecutive commands, which go to the generator together. A command that
// is taken and changes nothing (C1:OUTP ON) gives an empty one, which joins the settings
// around it; settings that come to no change at all send nothing.
struct ChangeStep {
    std::vector<Change> changes;
};
struct WaitStep {
    enum class Then { Nothing, SetOperationComplete, AnswerOne }; // *WAI, *OPC, *OPC?
    Then then = Then::Nothing;
};
// SYSTem:DEADline: the settings of the line go to the generator within this time of the
// line's arrival, or not at all.
struct DeadlineStep {
    std::chrono::milliseconds within{0};
};
// SYSTem:LOCK: the generator's one lock, taken, freed or asked after for this client; while
// another client holds it, this one's changes are refused (-203).
struct LockStep {
    enum class Action { Request, Release, Owner }; // REQuest? (1 or 0), RELease, OWNer?
    Action action = Action::Owner;
};
using Step =
    std::variant<ErrorStep, StatusStep, QueryStep, ChangeStep, WaitStep, DeadlineStep, LockStep>;

// The steps of one line, each command looked up in the command table by its header. The
// settings of the line go as one change, sent when the line ends or when a command that is
// not a setting comes (a query, *OPC, *CLS, ...), so that it answers for what reached the
// generator. They go whole or not at all, as one command cannot carry a part of them: a
// command in error among them, or between them, keeps them all from the generator.
std::vector<Step> stepsForMessage(std::string_view line);

// The answer to *IDN?.
std::string identity();

} // namespace varlo::scpi
