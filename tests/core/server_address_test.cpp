// Naming varlo-scpi on the command line, and the words for what went wrong with it.

#include "serial/server_address.h"
#include "serial/server_failure.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using varlo::ServerAddress;
using varlo::ServerFailure;

struct AddressRow {
    const char* name;
    std::string text;
    std::string server; // as named back, or the refusal
};

void PrintTo(const AddressRow& row, std::ostream* out)
{
    *out << row.name;
}

class Address : public ::testing::TestWithParam<AddressRow> {};

TEST_P(Address, TakesHostAndPortEitherLeftOut)
{
    const varlo::Checked<ServerAddress> parsed = varlo::parseServerAddress(GetParam().text);
    if (const varlo::Refusal* refusal = varlo::refusalOf(parsed))
        EXPECT_EQ(refusal->message, GetParam().server);
    else
        EXPECT_EQ(varlo::serverText(std::get<ServerAddress>(parsed)), GetParam().server);
}

const std::string Takes =
    "--connect takes [HOST][:PORT] such as 127.0.0.1:5025, bench-pc or :5026, ";

INSTANTIATE_TEST_SUITE_P(
    Texts, Address,
    ::testing::Values(AddressRow{"Nothing", "", "127.0.0.1:5025"},
                      AddressRow{"HostAlone", "bench-pc", "bench-pc:5025"},
                      AddressRow{"PortAlone", ":5026", "127.0.0.1:5026"},
                      AddressRow{"Both", "192.168.1.20:5025", "192.168.1.20:5025"},
                      AddressRow{"Ipv6InBrackets", "[::1]:5026", "[::1]:5026"},
                      AddressRow{"Ipv6Bare", "fe80::1", "[fe80::1]:5025"},
                      AddressRow{"PortZero", ":0", Takes + "not \":0\""},
                      AddressRow{"PortTooLarge", "bench:65536", Takes + "not \"bench:65536\""},
                      AddressRow{"EmptyPort", "bench:", Takes + "not \"bench:\""},
                      AddressRow{"Blank", "bench pc", Takes + "not \"bench pc\""},
                      AddressRow{"UnclosedBracket", "[::1:5025", Takes + "not \"[::1:5025\""},
                      AddressRow{"NameInBrackets", "[bench]:5025", Takes + "not \"[bench]:5025\""}),
    [](const auto& info) { return std::string(info.param.name); });

struct FailureRow {
    const char* name;
    ServerFailure::Cause cause;
    const char* given; // the server's words, or the text asked for
    std::string text;
};

void PrintTo(const FailureRow& row, std::ostream* out)
{
    *out << row.name;
}

class FailureText : public ::testing::TestWithParam<FailureRow> {};

TEST_P(FailureText, NamesTheServerAndTheCause)
{
    const ServerFailure failure{GetParam().cause, GetParam().given};
    EXPECT_EQ(varlo::serverFailureText(ServerAddress{"bench-pc", 5025}, failure), GetParam().text);
}

using Cause = ServerFailure::Cause;

INSTANTIATE_TEST_SUITE_P(
    Causes, FailureText,
    ::testing::Values(
        FailureRow{"Refused", Cause::Refused, "",
                   "varlo-scpi at bench-pc:5025 cannot be reached: connection refused"},
        FailureRow{"HostUnknown", Cause::HostUnknown, "",
                   "varlo-scpi at bench-pc:5025 cannot be reached: host unknown"},
        FailureRow{"Unreachable", Cause::Unreachable, "",
                   "varlo-scpi at bench-pc:5025 cannot be reached: network unreachable"},
        FailureRow{"NetworkError", Cause::NetworkError, "",
                   "varlo-scpi at bench-pc:5025 cannot be reached: network error"},
        FailureRow{"TimedOut", Cause::TimedOut, "",
                   "varlo-scpi at bench-pc:5025 did not answer within a second"},
        FailureRow{"Closed", Cause::Closed, "",
                   "varlo-scpi at bench-pc:5025 has gone: connection closed or reset"},
        FailureRow{"ServersOwnWords", Cause::ServerError,
                   "-241,\"Hardware missing;COM3 (/dev/ttyUSB0) is gone\"",
                   "varlo-scpi at bench-pc:5025 says -241,\"Hardware missing;COM3 "
                   "(/dev/ttyUSB0) is gone\""},
        FailureRow{"NotACommand", Cause::NotACommand, "8E3000",
                   "varlo-scpi at bench-pc:5025 carries no such command: \"8E3000\""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
