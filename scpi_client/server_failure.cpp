#include "scpi_client/server_failure.h"

#include "protocol/scpi_messages.h"

#include <array>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

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
    CauseText{ServerFailure::Cause::Locked, "refused the settings: the generator is locked by "},
    CauseText{ServerFailure::Cause::NotACommand, "carries no such command: "},
};

// About three lines of a message box: a server that answers with a flood or with binary
// bytes must not push the box's OK button off the screen.
constexpr std::size_t MaxQuotedCharacters = 160;

// The server's words as they can be shown: bytes outside printable ASCII written as \x00,
// cut after MaxQuotedCharacters with "..." where the rest would have been.
std::string printable(std::string_view words)
{
    std::string shown;
    for (const char c : words) {
        const auto byte = static_cast<unsigned char>(c);
        std::string next(1, c);
        if (byte < 0x20 || byte > 0x7E) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            next = escape;
        }
        if (shown.size() + next.size() > MaxQuotedCharacters)
            return shown + "...";
        shown += next;
    }
    return shown;
}

} // namespace

std::string serverFailureText(const ServerAddress& server, const ServerFailure& failure)
{
    std::string text = "varlo-scpi at " + serverText(server) + " ";
    for (const CauseText& row : CauseTexts)
        if (row.cause == failure.cause)
            text += row.text;
    if (failure.cause == ServerFailure::Cause::NotACommand)
        text.append("\"").append(printable(failure.text)).append("\"");
    else
        text += printable(failure.text);
    return text;
}

ServerFailure serverRefusal(std::string entry)
{
    if (std::optional<std::string> holder = lockHolderInError(entry))
        return {ServerFailure::Cause::Locked, std::move(*holder)};
    return {ServerFailure::Cause::ServerError, std::move(entry)};
}

} // namespace varlo
