// Whatever a client sends the VXI-11 channels or the portmapper: as a stream cut into pieces
// as TCP may cut it, through the record reader, or as one datagram. Each record goes through
// the call decoder of every channel and through every procedure's argument decoder. Nothing
// may crash or read past the end (the sanitizers watch); the reader always makes progress
// and never holds a record past its bound; a record framed again reads back whole; a record
// is a call or a refusal whose reply, if any, carries its transaction id; and arguments or a
// call written again as a client writes them are read back the same.

#include "fuzz/fuzz_check.h"

#include "scpi/vxi11/procedure_table.h"
#include "scpi/vxi11/record_marking.h"
#include "scpi/vxi11/rpc_message.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <variant>

namespace {

using namespace varlo::vxi11;

std::uint32_t firstWord(const Bytes& bytes)
{
    XdrReader in(bytes);
    return in.u32();
}

void checkCall(ByteView record, const Program& program)
{
    const auto decoded = decodeCall(record, program);
    if (const auto* refusal = std::get_if<Refusal>(&decoded)) {
        FUZZ_CHECK(refusal->kind != Refusal::Kind::SystemError);
        const auto reply = refusalReply(*refusal);
        FUZZ_CHECK(reply.has_value() == (refusal->kind != Refusal::Kind::Drop));
        if (reply)
            FUZZ_CHECK(firstWord(*reply) == refusal->xid);
        return;
    }
    const Call& call = std::get<Call>(decoded);
    FUZZ_CHECK(program.find(call.procedure) != nullptr);
    const Bytes arguments = encodeArguments(call.arguments);
    const auto again = decodeCall(
        callMessage({call.xid, program.number, program.version, call.procedure, arguments}),
        program);
    const Call* reread = std::get_if<Call>(&again);
    FUZZ_CHECK(reread != nullptr);
    FUZZ_CHECK(reread->xid == call.xid && reread->procedure == call.procedure);
    FUZZ_CHECK(reread->arguments == call.arguments);
}

void checkArguments(ByteView record, const Procedure& procedure)
{
    const auto arguments = procedure.decode(record);
    if (!arguments)
        return;
    const Bytes again = encodeArguments(*arguments);
    FUZZ_CHECK(again.size() <= record.size());
    const auto reread = procedure.decode(again);
    FUZZ_CHECK(reread && *reread == *arguments);
}

void checkRecord(ByteView record)
{
    for (const Program* program : {&coreChannel(), &abortChannel(), &portmapper()}) {
        checkCall(record, *program);
        for (const Procedure& procedure : program->procedures)
            checkArguments(record, procedure);
    }
}

void checkFraming(const Bytes& record)
{
    RecordReader reader;
    const Bytes framed = framedRecord(record);
    FUZZ_CHECK(reader.take(framed) == framed.size());
    const auto reread = reader.next();
    FUZZ_CHECK(reread && *reread == record);
}

} // namespace

// The first byte: its top bit makes the rest one datagram, its low bits set the size of the
// pieces of a stream.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    ByteView bytes(data + 1, size - 1);
    if ((data[0] & 0x80) != 0) {
        checkRecord(bytes);
        return 0;
    }
    const std::size_t piece = data[0] % 64 + 1;
    RecordReader reader;
    while (!bytes.empty() && !reader.refused()) {
        const std::size_t taken = reader.take(bytes.first(std::min(piece, bytes.size())));
        // No record waits here, as each is taken at once: only a refusal stops the reader.
        FUZZ_CHECK(taken > 0 || reader.refused());
        bytes = bytes.subspan(taken);
        while (const auto record = reader.next()) {
            FUZZ_CHECK(record->size() <= MaxRecordBytes);
            checkRecord(*record);
            checkFraming(*record);
        }
    }
    return 0;
}
