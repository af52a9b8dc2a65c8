#pragma once

#include "send/send_steps.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace varlo::send {

// A script: one step per line, each line standing alone.
//   2kHz square --attenuator on       a step, the words of a one-shot call
//   sweep 1kHz 10kHz --steps 10 --log a sweep, the words after --sweep
//   wait 500ms                        a pause
// "#" starts a comment; blank lines and a UTF-8 byte-order mark at the start are skipped.
// Every bad line is refused as "FILE:LINE: what is wrong", the first MaxReportedLines of
// them, and the rest counted in one more refusal. The reading stops at the line where the
// script grows past MaxScriptBytes, a line longer than MaxScriptLineBytes, or the line whose
// commands make more than one run takes.
inline constexpr std::size_t MaxScriptBytes = 16 * 1024 * 1024;
inline constexpr std::size_t MaxScriptLineBytes = 4096;
inline constexpr std::size_t MaxReportedLines = 20;

// The steps of a script, or its refusals in the order of its lines.
using ScriptSteps = std::variant<std::vector<Step>, std::vector<Refusal>>;

// Reads a script as it arrives, piece by piece, holding only the line being read and the
// steps so far; pauses in a row are kept as one.
class ScriptReader {
public:
    explicit ScriptReader(std::string_view fileName) : fileName_(fileName) {}

    // The next bytes; false once the reading has stopped, and nothing more is taken.
    bool add(std::string_view bytes);
    // The end of the script: its steps, or the refusals.
    ScriptSteps finish();

private:
    void take(std::string_view piece, bool lineEnds);
    void endLine();
    void refuseLine(const std::string& message);
    void stop(const std::string& message);
    void countUnreported();

    std::string fileName_;
    std::string line_;
    std::size_t lineNumber_ = 1; // of the line being read
    std::size_t bytes_ = 0;
    bool atStart_ = true; // a byte-order mark may still come
    std::int64_t commands_ = 0;
    std::vector<Step> steps_;
    std::vector<Refusal> refusals_;
    std::size_t unreported_ = 0; // bad lines past MaxReportedLines
    bool stopped_ = false;
};

// A whole script in memory.
ScriptSteps parseScript(std::string_view text, std::string_view fileName);

// The script in FILE, or on standard input for "-", read as it arrives.
ScriptSteps readScriptFile(const std::string& file);

} // namespace varlo::send
