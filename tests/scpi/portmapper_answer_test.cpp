// The own portmapper's replies, word by word: which GETPORT names the core channel's port,
// and that the port is asked for only then, once per answer.

#include "scpi/portmapper/portmapper_answer.h"
#include "scpi/portmapper/portmapper_mode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>

using namespace varlo;
using namespace varlo::scpi;

namespace {

vxi11::Bytes words(std::initializer_list<std::uint32_t> values)
{
    vxi11::Bytes bytes;
    for (const std::uint32_t value : values)
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    return bytes;
}

constexpr std::uint32_t Xid = 0x77;

// A call to the portmapper, version 2, with AUTH_NONE, and its arguments.
vxi11::Bytes portmapperCall(std::uint32_t procedure, std::initializer_list<std::uint32_t> arguments)
{
    vxi11::Bytes bytes = words({Xid, 0, 2, 100000, 2, procedure, 0, 0, 0, 0});
    const vxi11::Bytes rest = words(arguments);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

// An accepted reply with the verifier AUTH_NONE and these results.
vxi11::Bytes success(std::initializer_list<std::uint32_t> results)
{
    vxi11::Bytes bytes = words({Xid, 1, 0, 0, 0, 0});
    const vxi11::Bytes rest = words(results);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

struct AnswerRow {
    const char* name;
    vxi11::Bytes record;
    std::optional<vxi11::Bytes> reply;
    int portsTaken;
};

TEST(OwnPortmapper, GetportNamesTheCoreChannelOverTcpOnly)
{
    const AnswerRow rows[] = {
        {"the core channel over TCP", portmapperCall(3, {0x0607AF, 1, 6, 0}), success({40000}), 1},
        {"the core channel, another version", portmapperCall(3, {0x0607AF, 2, 6, 0}),
         success({40000}), 1},
        {"the core channel over UDP", portmapperCall(3, {0x0607AF, 1, 17, 0}), success({0}), 0},
        {"the abort channel", portmapperCall(3, {0x0607B0, 1, 6, 0}), success({0}), 0},
        {"null", portmapperCall(0, {}), success({}), 0},
        {"dump, rpcbind's", portmapperCall(4, {}), words({Xid, 1, 0, 0, 0, 3}), 0},
        {"a reply, no call", success({1}), std::nullopt, 0},
    };
    for (const AnswerRow& row : rows) {
        int taken = 0;
        const auto reply = portmapperAnswer(row.record, [&taken] {
            ++taken;
            return std::uint16_t{40000};
        });
        EXPECT_EQ(reply, row.reply) << row.name;
        EXPECT_EQ(taken, row.portsTaken) << row.name;
    }
}

TEST(OwnPortmapper, ModesAsWritten)
{
    EXPECT_EQ(readPortmapperMode("auto"), PortmapperMode::Auto);
    EXPECT_EQ(readPortmapperMode("own"), PortmapperMode::Own);
    EXPECT_EQ(readPortmapperMode("system"), PortmapperMode::System);
    EXPECT_EQ(readPortmapperMode("off"), PortmapperMode::Off);
}

} // namespace
