#pragma once

#include <string>

namespace varlo::scpi::web {

// What the web port answers a request with.
struct Answer {
    int status = 200;
    std::string type = "text/plain; charset=utf-8";
    std::string body;
};

// The answer as sent: status line, the headers every answer carries, and the body, which an
// answer to HEAD leaves out. `closing` says the connection ends after it.
std::string answerBytes(const Answer& answer, bool headOnly, bool closing);

// "Misdirected Request" for 421, and so on for the statuses this server answers with.
std::string reasonPhrase(int status);

} // namespace varlo::scpi::web
