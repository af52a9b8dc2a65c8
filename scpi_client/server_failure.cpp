#include "scpi_client/server_failure.h"

#include <array>

namespace varlo {

namespace {

struct CauseText {
    ServerFailure::Cause cause;
    const char* text;
};

// Where the server's own words follow, the text ends before them.
constexpr std::array CauseTexts{
    CauseText{ServerFailure::Cause::Refused, "cannot be reached: connection refused"},
    CauseText{ServerFailure::Cause::HostUnknown, "cannot be reached: host unknown"},
    CauseText{ServerFailure::Cause::Unreachable, "cannot be reached: network unreachable"},
    CauseText{ServerFailure::Cause::TimedOut, "did not answer within a second"},
    CauseText{ServerFailure::Cause::Closed, "has gone: connection closed or reset"},
    CauseText{ServerFailure::Cause::NetworkError, "cannot be reached: network error"},
    CauseText{ServerFailure::Cause::ServerError, "says "},
    CauseText{ServerFailure::Cause::NotACommand, "carries no such command: "},
};

} // namespace

std::string serverFailureText(const ServerAddress& server, const ServerFailure& failure)
{
    std::string text = "varlo-scpi at " + serverText(server) + " ";
    for (const CauseText& row : CauseTexts)
        if (row.cause == failure.cause)
            text += row.text;
    if (failure.cause == ServerFailure::Cause::NotACommand)
        text += "\"" + failure.text + "\"";
    else
        text += failure.text;
    return text;
}

} // namespace varlo
