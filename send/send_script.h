#pragma once

#include "send_steps.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varlo::send {

// A script: one step per line, each line standing alone.
//   2kHz square --attenuator on       a step, the words of a one-shot call
//   sweep 1kHz 10kHz --steps 10 --log a sweep, the words after --sweep
//   wait 500ms                        a pause
// "#" starts a comment; blank lines and a UTF-8 byte-order mark at the start are skipped.
// The first bad line is refused as "FILE:LINE: what is wrong", and so is the line where the
// script grows past MaxScriptBytes, a line longer than MaxScriptLineBytes, or the line whose
// commands make more than one run takes.
inline constexpr std::size_t MaxScriptBytes = 16 * 1024 * 1024;
inline constexpr std::size_t MaxScriptLineBytes = 4096;

// Reads a script as it arrives, piece by piece, holding only the line being read and the
// steps so far; pauses in a row are kept as one.
class ScriptReader {
public:
    explicit ScriptReader(std::string_view fileName) : fileName_(fileName) {}

    // The next bytes. After a refusal the reading has ended and nothing more is taken.
    std::optional<Refusal> add(std::string_view bytes);
    // The end of the script: its steps, or the refusal.
    Checked<std::vector<Step>> finish();

private:
    std::optional<Refusal> take(std::string_view piece, bool lineEnds);
    std::optional<Refusal> endLine();
    Refusal refuse(const std::string& message);

    std::string fileName_;
    std::string line_;
    std::size_t lineNumber_ = 1; // of the line being read
    std::size_t bytes_ = 0;
    bool atStart_ = true; // a byte-order mark may still come
    std::int64_t commands_ = 0;
    std::vector<Step> steps_;
    std::optional<Refusal> refusal_;
};

// A whole script in memory.
Checked<std::vector<Step>> parseScript(std::string_view text, std::string_view fileName);

// The script in FILE, or on standard input for "-", read as it arrives.
Checked<std::vector<Step>> readScriptFile(const std::string& file);

} // namespace varlo::send
