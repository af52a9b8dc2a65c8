#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace varlo::scpi::web {

// The head of one HTTP/1.x request, as read from the start of what a connection sent.
struct RequestHead {
    std::string method;
    // The path, without the query.
    std::string path;
    int minorVersion = 1;
    std::vector<std::pair<std::string, std::string>> fields;
    // Bytes the head took, its blank line included.
    std::size_t length = 0;

    // The first field of that name, which is not case-sensitive.
    std::optional<std::string> field(std::string_view name) const;
    // Whether a body follows: this server reads none, so the connection ends after the answer.
    bool hasBody() const;
    // HTTP/1.1 without "Connection: close"; HTTP/1.0 ends after the answer.
    bool keepsConnection() const;
    // "Upgrade: websocket" with "Connection: upgrade".
    bool asksForWebSocket() const;
    // What a WebSocket opening needs beyond asking: GET, HTTP/1.1, a Sec-WebSocket-Key and
    // version 13;
    // empty when it has it, else what it lacks, in words.
    std::string upgradeFault() const;
};

enum class HeadReading {
    Incomplete, // more bytes are needed
    Malformed,  // not a request of HTTP/1.x
};

// The head at the start of `bytes`, or why there is none.
std::variant<RequestHead, HeadReading> readRequestHead(std::string_view bytes);

} // namespace varlo::scpi::web
