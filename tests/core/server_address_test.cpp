// Naming varlo-scpi on the command line, and the words for what went wrong with it.

#include "scpi_client/server_address.h"
#include "scpi_client/server_failure.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using varlo::ServerAddress;
using varlo::ServerFailure;

TEST(ServerAddress, TakesHostAndPortEitherLeftOut)
{
    const std::string takes =
        "--connect takes [HOST][:PORT] such as 127.0.0.1:5025, bench-pc or :5026, not ";
    const std::pair<std::string, std::string> rows[] = {
        {"", "127.0.0.1:5025"},
        {"bench-pc", "bench-pc:5025"},
        {":5026", "127.0.0.1:5026"},
        {"[::1]:5026", "[::1]:5026"},
        {"fe80::1", "[fe80::1]:5025"},
        {"[fe80::1]", "[fe80::1]:5025"},
        {"[::1", takes + "\"[::1\""},
        {"[::1]5026", takes + "\"[::1]5026\""},
        {":0", takes + "\":0\""},
        {"bench:", takes + "\"bench:\""},
        {"bench pc", takes + "\"bench pc\""},
        {"[bench]:5025", takes + "\"[bench]:5025\""},
    };
    for (const auto& [text, named] : rows) {
        const varlo::Checked<ServerAddress> parsed = varlo::parseServerAddress(text);
        const varlo::Refusal* refusal = varlo::refusalOf(parsed);
        EXPECT_EQ(refusal ? refusal->message : varlo::serverText(std::get<ServerAddress>(parsed)),
                  named);
    }
}

TEST(ServerFailure, NamesTheServerAndTheCause)
{
    using Cause = ServerFailure::Cause;
    const std::pair<ServerFailure, std::string> rows[] = {
        {{Cause::Refused, ""}, "cannot be reached: connection refused"},
        {{Cause::HostUnknown, ""}, "cannot be reached: host unknown"},
        {{Cause::Unreachable, ""}, "cannot be reached: network unreachable"},
        {{Cause::NetworkError, ""}, "cannot be reached: network error"},
        {{Cause::TimedOut, ""}, "did not answer within a second"},
        {{Cause::Closed, ""}, "has gone: connection closed or reset"},
        {{Cause::ServerError, "-241,\"Hardware missing\""}, "says -241,\"Hardware missing\""},
        {{Cause::Locked, "VXI-11 127.0.0.1:50312"},
         "refused the settings: the generator is locked by VXI-11 127.0.0.1:50312"},
        {{Cause::NotACommand, "8E3000"}, "carries no such command: \"8E3000\""},
        {{Cause::ServerError, "\x1B[2J\xFF-1,\"x\""}, "says \\x1B[2J\\xFF-1,\"x\""},
        {{Cause::ServerError, std::string(50'000, 'A')}, "says " + std::string(160, 'A') + "..."},
    };
    for (const auto& [failure, text] : rows)
        EXPECT_EQ(varlo::serverFailureText({"bench-pc", 5025}, failure),
                  "varlo-scpi at bench-pc:5025 " + text);
}

// The server's error for settings it did not send, read as the client tells it.
TEST(ServerFailure, ALockedRefusalNamesTheHolder)
{
    using Cause = ServerFailure::Cause;
    const std::pair<std::string, ServerFailure> rows[] = {
        {"-203,\"Command protected;locked by SOCKET 127.0.0.1:41000\"",
         {Cause::Locked, "SOCKET 127.0.0.1:41000"}},
        {"-203,\"Command protected\"", {Cause::ServerError, "-203,\"Command protected\""}},
        {"-222,\"Data out of range\"", {Cause::ServerError, "-222,\"Data out of range\""}},
    };
    for (const auto& [entry, failure] : rows)
        EXPECT_EQ(varlo::serverRefusal(entry), failure) << entry;
}

} // namespace
