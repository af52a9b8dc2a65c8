#pragma once

#include <optional>

namespace varlo {

// The panel's own command line, answered before any window exists: --help and --version
// print and end, anything else it does not know is refused on stderr. nullopt means there
// was nothing to answer and the panel starts as usual; otherwise the exit status to end with.
// Needs no display: it runs on a QCoreApplication of its own, gone before it returns.
std::optional<int> answerCommandLine(int argc, char** argv);

} // namespace varlo
