// Bytes off the line into the instrument's framer, in reads and bursts the input chooses. Nothing
// may crash; the pieces give back every byte in order, none added; no piece is empty; a burst
// never grows to MaxBurst unsplit; a piece the framer leaves over holds no whole command, which
// a better split would have taken.

#include "fuzz/fuzz_check.h"

#include "instrument/command_framer.h"
#include "protocol/command_decoding.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using varlo::instrument::CommandFramer;

void checkPieces(const std::vector<std::string>& pieces, std::string& framed)
{
    for (const std::string& piece : pieces) {
        FUZZ_CHECK(!piece.empty());
        framed += piece;
        if (varlo::isValidCommand(piece))
            continue;
        for (const std::size_t length : {10u, 11u})
            for (std::size_t at = 0; at + length <= piece.size(); ++at)
                FUZZ_CHECK(!varlo::isValidCommand(std::string_view(piece).substr(at, length)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Each read: a byte whose low six bits give its length, in bytes or, with the next bit, in
    // 64 bytes, and whose top bit ends the burst after it (the line falls idle); then that many
    // bytes from the line.
    CommandFramer framer;
    std::string sent;
    std::string framed;
    for (std::size_t at = 0; at < size;) {
        const std::uint8_t head = data[at++];
        const std::size_t length =
            std::min<std::size_t>((head & 0x3F) * ((head & 0x40) != 0 ? 64 : 1), size - at);
        const std::string_view read(reinterpret_cast<const char*>(data + at), length);
        at += length;
        sent += read;
        checkPieces(framer.append(read), framed);
        FUZZ_CHECK(sent.size() - framed.size() < CommandFramer::MaxBurst);
        if ((head & 0x80) != 0)
            checkPieces(framer.endBurst(), framed);
    }
    checkPieces(framer.endBurst(), framed);
    FUZZ_CHECK(!framer.burstPending());
    FUZZ_CHECK(framed == sent);
    return 0;
}
