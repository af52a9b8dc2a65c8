#pragma once

#include "scpi_client/server_address.h"

#include <string>

namespace varlo {

// Title of the box that reports why varlo-scpi did not send a command, in place of the line's
// "! RS-232 ERROR !" when the panel goes through the server.
inline constexpr const char* ServerErrorTitle = "! SERVER ERROR !";

// Why the server did not do what it was asked: the connection failed (connecting or later,
// and then it is closed), the server refused with its own error, or the text was no command.
struct ServerFailure {
    enum class Cause {
        Refused,
        HostUnknown,
        Unreachable,
        TimedOut,
        Closed,
        NetworkError,
        ServerError, // `text` is the server's error as it reports it
        Locked,      // `text` is the holder of the server's lock, which refused the settings
        NotACommand, // `text` is the text asked for
    };
    Cause cause = Cause::NetworkError;
    std::string text;
    friend bool operator==(const ServerFailure&, const ServerFailure&) = default;
};

// What happened in the project's words, naming the server:
//   varlo-scpi at 127.0.0.1:5025 cannot be reached: connection refused
//   varlo-scpi at 127.0.0.1:5025 says -222,"Data out of range"
//   varlo-scpi at 127.0.0.1:5025 refused the settings: the generator is locked by SOCKET ...
std::string serverFailureText(const ServerAddress& server, const ServerFailure& failure);

// The server's error for settings it did not send: Locked when another client's lock refused
// them, else ServerError.
ServerFailure serverRefusal(std::string entry);

} // namespace varlo
