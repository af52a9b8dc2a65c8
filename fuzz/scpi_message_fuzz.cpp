// Whatever a client sends varlo-scpi, cut into pieces as TCP may cut it: the input lines, the
// parser, the command table and the run of each line against the generator's settings, with
// a write failing now and then. Nothing may crash or hang; every command for the line is
// valid and carries settings within the generator's range; a reply is one line; the error
// queue never holds more than its sixteen entries.

#include "fuzz/fuzz_check.h"

#include "protocol/command_decoding.h"
#include "protocol/command_encoding.h"
#include "scpi/generator/message_run.h"
#include "scpi/language/command_table.h"
#include "scpi/socket/input_messages.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using namespace varlo;
using namespace varlo::scpi;

void checkSettings(const GeneratorState& sent)
{
    FUZZ_CHECK(sent.wholeHz >= 0 && sent.wholeHz <= static_cast<std::int64_t>(MaxFrequencyHz));
    FUZZ_CHECK(sent.wholeHz > 0 || sent.hundredths > 0);
    FUZZ_CHECK(sent.hundredths >= 0 && sent.hundredths <= 99);
    FUZZ_CHECK(sent.dutyPercent >= MinDutyPercent && sent.dutyPercent <= MaxDutyPercent);
}

void runMessage(const ProgramMessage& line, Session& session, GeneratorState& sent,
                GeneratorLock& lock, std::uint8_t failures)
{
    MessageRun run(line.tooLong ? std::vector<Step>{ErrorStep{errors::Syntax}}
                                : stepsForMessage(line.text));
    for (unsigned writes = 0;; ++writes) {
        const MessageRun::Need need = run.advance(session, sent, lock);
        if (const auto* write = std::get_if<MessageRun::Write>(&need)) {
            FUZZ_CHECK(isValidCommand(write->command));
            FUZZ_CHECK(writes < 2 * MaxMessageBytes);
            if (((failures >> (writes % 8)) & 1) == 0)
                run.written(sent);
            else
                run.notWritten(session, {errors::HardwareMissing, "the port is gone"});
            checkSettings(sent);
        } else if (std::holds_alternative<MessageRun::Drain>(need)) {
            run.drained(session);
        } else {
            if (const auto& reply = std::get<MessageRun::Finished>(need).reply)
                FUZZ_CHECK(reply->find_first_of("\r\n") == std::string::npos);
            break;
        }
    }
    FUZZ_CHECK(session.errorCount() <= Session::QueueCapacity);
}

} // namespace

// The first byte sets the size of the pieces, the second which writes fail.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t piece = data[0] % 64 + 1;
    const std::uint8_t failures = data[1];
    std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);

    InputMessages input;
    Session session;
    GeneratorState sent;
    GeneratorLock lock;
    lock.join(session, "SOCKET 127.0.0.1:41000");
    while (true) {
        if (auto line = input.next()) {
            runMessage(*line, session, sent, lock, failures);
            continue;
        }
        if (bytes.empty())
            break;
        input.add(bytes.substr(0, piece));
        bytes.remove_prefix(std::min(piece, bytes.size()));
    }
    return 0;
}
