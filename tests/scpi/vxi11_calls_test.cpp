// Calls to the VXI-11 channels and the portmapper as a client sends them, written word by word
// from the protocol's rules: the arguments each procedure reads, the calls refused and the
// replies, byte for byte. libtirpc, the system's RPC library, writes and reads one of each.

#include "scpi/vxi11/procedure_table.h"

#include <gtest/gtest.h>
#include <rpc/rpc.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <variant>

using namespace varlo::vxi11;

namespace {

Bytes words(std::initializer_list<std::uint32_t> values)
{
    Bytes bytes;
    for (const std::uint32_t value : values)
        bytes.insert(bytes.end(),
                     {static_cast<std::uint8_t>(value >> 24),
                      static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
                      static_cast<std::uint8_t>(value)});
    return bytes;
}

constexpr std::uint32_t Xid = 0x1234;

// Transaction id, CALL, RPC version 2, program, version, procedure, then the credential and
// the verifier, both AUTH_NONE with an empty body, and the arguments.
Bytes call(std::uint32_t procedure, const Bytes& arguments, std::uint32_t program = CoreProgram,
           std::uint32_t version = 1)
{
    Bytes bytes = words({Xid, 0, 2, program, version, procedure, 0, 0, 0, 0});
    bytes.insert(bytes.end(), arguments.begin(), arguments.end());
    return bytes;
}

struct ArgumentsRow {
    const char* name;
    const Program& program;
    std::uint32_t procedure;
    Bytes arguments;
    Arguments expected;
};

TEST(Vxi11Call, EachProcedureReadsItsArguments)
{
    const DeviceGenericParms generic{7, 0, 0, 2000};
    const ArgumentsRow rows[] = {
        {"create_link", coreChannel(), 10, words({3456, 0, 10000, 5, 0x696E7374, 0x30000000}),
         CreateLinkParms{3456, false, 10000, "inst0"}},
        {"device_write", coreChannel(), 11, words({7, 2000, 0, 8, 6, 0x2A49444E, 0x3F0A0000}),
         DeviceWriteParms{7, 2000, 0, flag::End, "*IDN?\n"}},
        {"device_read", coreChannel(), 12, words({7, 1024, 2000, 0, 128, 10}),
         DeviceReadParms{7, 1024, 2000, 0, flag::TermCharSet, '\n'}},
        {"device_readstb", coreChannel(), 13, words({7, 0, 0, 2000}), generic},
        {"device_trigger", coreChannel(), 14, words({7, 0, 0, 2000}), generic},
        {"device_clear", coreChannel(), 15, words({7, 0, 0, 2000}), generic},
        {"device_remote", coreChannel(), 16, words({7, 0, 0, 2000}), generic},
        {"device_local", coreChannel(), 17, words({7, 0, 0, 2000}), generic},
        {"device_lock", coreChannel(), 18, words({7, 1, 5000}),
         DeviceLockParms{7, flag::WaitLock, 5000}},
        {"device_unlock", coreChannel(), 19, words({7}), DeviceLink{7}},
        {"device_enable_srq", coreChannel(), 20, words({7, 1, 2, 0x61620000}),
         DeviceEnableSrqParms{7, true, "ab"}},
        {"device_docmd", coreChannel(), 22, words({7, 0, 2000, 0, 0x20000, 1, 4, 4, 0x01020304}),
         DeviceDocmdParms{7, 0, 2000, 0, 0x20000, true, 4, "\x01\x02\x03\x04"}},
        {"destroy_link", coreChannel(), 23, words({7}), DeviceLink{7}},
        {"create_intr_chan", coreChannel(), 25, words({0x7F000001, 809, 0x0607B1, 1, 0}),
         DeviceRemoteFunc{0x7F000001, 809, 0x0607B1, 1, DeviceRemoteFunc::Family::Tcp}},
        {"destroy_intr_chan", coreChannel(), 26, {}, Void{}},
        {"device_abort", abortChannel(), 1, words({7}), DeviceLink{7}},
        {"portmapper null", portmapper(), 0, {}, Void{}},
        {"getport", portmapper(), 3, words({0x0607AF, 1, 6, 0}), Mapping{0x0607AF, 1, 6, 0}},
    };
    for (const ArgumentsRow& row : rows) {
        const auto decoded =
            decodeCall(call(row.procedure, row.arguments, row.program.number, row.program.version),
                       row.program);
        ASSERT_TRUE(std::holds_alternative<Call>(decoded)) << row.name;
        const Call& read = std::get<Call>(decoded);
        EXPECT_EQ(read.xid, Xid) << row.name;
        EXPECT_EQ(read.procedure, row.procedure) << row.name;
        EXPECT_TRUE(read.arguments == row.expected) << row.name;
        EXPECT_EQ(encodeArguments(read.arguments), row.arguments) << row.name;
    }
}

struct RefusalRow {
    const char* name;
    Bytes record;
    const Program& program;
    Refusal expected;
    std::optional<Bytes> reply; // none: the call is dropped
};

TEST(Vxi11Call, RefusesWithTheReplyThatFits)
{
    using Kind = Refusal::Kind;
    Bytes tooLong = call(11, words({7, 0, 0, 8, 4097}));
    tooLong.resize(tooLong.size() + 4100);
    const RefusalRow rows[] = {
        {"no transaction id", {0x12, 0x34}, coreChannel(), {Kind::Drop, 0}, std::nullopt},
        {"a reply, not a call",
         words({Xid, 1, 0, 0, 0, 0}),
         coreChannel(),
         {Kind::Drop, Xid},
         std::nullopt},
        {"a credential past 400 bytes",
         words({Xid, 0, 2, CoreProgram, 1, 10, 1, 404}),
         coreChannel(),
         {Kind::Drop, Xid},
         std::nullopt},
        {"cut in the verifier",
         words({Xid, 0, 2, CoreProgram, 1, 10, 0, 0, 0}),
         coreChannel(),
         {Kind::Drop, Xid},
         std::nullopt},
        {"RPC version 3",
         words({Xid, 0, 3, CoreProgram, 1, 10}),
         coreChannel(),
         {Kind::RpcMismatch, Xid, 2, 2},
         words({Xid, 1, 1, 0, 2, 2})},
        {"the abort channel's program on the core channel",
         call(1, words({7}), AbortProgram),
         coreChannel(),
         {Kind::ProgramUnavailable, Xid},
         words({Xid, 1, 0, 0, 0, 1})},
        {"VXI-11 version 2",
         call(10, {}, CoreProgram, 2),
         coreChannel(),
         {Kind::ProgramMismatch, Xid, 1, 1},
         words({Xid, 1, 0, 0, 0, 2, 1, 1})},
        {"portmapper version 3, as rpcbind's clients ask first",
         call(3, words({CoreProgram, 1, 6, 0}), PortmapperProgram, 3),
         portmapper(),
         {Kind::ProgramMismatch, Xid, 2, 2},
         words({Xid, 1, 0, 0, 0, 2, 2, 2})},
        {"procedure 21, which VXI-11 does not define",
         call(21, {}),
         coreChannel(),
         {Kind::ProcedureUnavailable, Xid},
         words({Xid, 1, 0, 0, 0, 3})},
        {"create_link cut in its name",
         call(10, words({3456, 0, 10000, 5, 0x696E7374})),
         coreChannel(),
         {Kind::GarbageArguments, Xid},
         words({Xid, 1, 0, 0, 0, 4})},
        {"device_write past its bound",
         tooLong,
         coreChannel(),
         {Kind::GarbageArguments, Xid},
         words({Xid, 1, 0, 0, 0, 4})},
    };
    for (const RefusalRow& row : rows) {
        const auto decoded = decodeCall(row.record, row.program);
        ASSERT_TRUE(std::holds_alternative<Refusal>(decoded)) << row.name;
        EXPECT_EQ(std::get<Refusal>(decoded), row.expected) << row.name;
        EXPECT_EQ(refusalReply(std::get<Refusal>(decoded)), row.reply) << row.name;
    }
}

struct ReplyRow {
    const char* name;
    const Program& program;
    std::uint32_t procedure;
    Result result;
    Bytes results; // after the accepted reply's head
};

TEST(Vxi11Reply, WritesEachResultAfterTheAcceptedHead)
{
    const ReplyRow rows[] = {
        {"create_link", coreChannel(), 10, CreateLinkResp{ErrorCode::NoError, 1, 40001, 1024},
         words({0, 1, 40001, 1024})},
        {"device_read", coreChannel(), 12,
         DeviceReadResp{ErrorCode::NoError, reason::End, "VARLO\n"},
         words({0, 4, 6, 0x5641524C, 0x4F0A0000})},
        {"device_readstb", coreChannel(), 13, DeviceReadStbResp{ErrorCode::NoError, 0x10},
         words({0, 0x10})},
        {"device_write", coreChannel(), 11,
         DeviceWriteResp{ErrorCode::DeviceLockedByAnotherLink, 0}, words({11, 0})},
        {"device_abort", abortChannel(), 1, DeviceError{ErrorCode::NoError}, words({0})},
        {"getport", portmapper(), 3, Port{40000}, words({40000})},
        {"portmapper null", portmapper(), 0, Void{}, {}},
    };
    for (const ReplyRow& row : rows) {
        Bytes expected = words({Xid, 1, 0, 0, 0, 0});
        expected.insert(expected.end(), row.results.begin(), row.results.end());
        EXPECT_EQ(replyTo(row.program, Call{Xid, row.procedure, Void{}}, row.result), expected)
            << row.name;
    }
}

TEST(Vxi11Reply, AResultOfAnotherKindIsTheServersError)
{
    EXPECT_EQ(replyTo(coreChannel(), Call{Xid, 12, Void{}}, DeviceError{ErrorCode::IoTimeout}),
              words({Xid, 1, 0, 0, 0, 5}));
}

// The results are read after the reply's head, field by field.
bool_t resultsReadAfter(XDR*, ...)
{
    return TRUE;
}

// The system's RPC library writes a device_write call and reads the reply to it.
TEST(Vxi11Call, AgreesWithTheSystemsRpcLibrary)
{
    char buffer[256];
    XDR xdr;
    xdrmem_create(&xdr, buffer, sizeof buffer, XDR_ENCODE);
    rpc_msg message{};
    message.rm_xid = Xid;
    message.rm_direction = CALL;
    message.rm_call = {2, CoreProgram, 1, procedure::DeviceWrite, _null_auth, _null_auth};
    u_long link = 7, ioTimeout = 2000, lockTimeout = 0;
    long flags = flag::End;
    char data[] = "FREQ 1000\n";
    char* bytes = data;
    u_int size = sizeof data - 1;
    ASSERT_TRUE(xdr_callmsg(&xdr, &message) && xdr_u_long(&xdr, &link) &&
                xdr_u_long(&xdr, &ioTimeout) && xdr_u_long(&xdr, &lockTimeout) &&
                xdr_long(&xdr, &flags) && xdr_bytes(&xdr, &bytes, &size, 1024));
    const Bytes record(buffer, buffer + xdr_getpos(&xdr));
    xdr_destroy(&xdr);
    const auto decoded = decodeCall(record, coreChannel());
    ASSERT_TRUE(std::holds_alternative<Call>(decoded));
    const Arguments expected = DeviceWriteParms{7, 2000, 0, flag::End, "FREQ 1000\n"};
    EXPECT_TRUE(std::get<Call>(decoded).arguments == expected);

    Bytes reply = replyTo(coreChannel(), std::get<Call>(decoded), DeviceWriteResp{{}, 10});
    xdrmem_create(&xdr, reinterpret_cast<char*>(reply.data()), reply.size(), XDR_DECODE);
    rpc_msg read{};
    read.acpted_rply.ar_results = {nullptr, resultsReadAfter};
    long error = -1;
    u_long taken = 0;
    ASSERT_TRUE(xdr_replymsg(&xdr, &read) && xdr_long(&xdr, &error) && xdr_u_long(&xdr, &taken));
    xdr_destroy(&xdr);
    EXPECT_EQ(read.rm_xid, Xid);
    EXPECT_EQ(read.rm_reply.rp_stat, MSG_ACCEPTED);
    EXPECT_EQ(read.acpted_rply.ar_stat, SUCCESS);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(taken, 10U);
}

} // namespace
