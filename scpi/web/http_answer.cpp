#include "scpi/web/http_answer.h"

namespace varlo::scpi::web {

std::string reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 421:
        return "Misdirected Request";
    case 426:
        return "Upgrade Required";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    }
    return "Unknown";
}

std::string answerBytes(const Answer& answer, bool headOnly, bool closing)
{
    std::string bytes =
        "HTTP/1.1 " + std::to_string(answer.status) + ' ' + reasonPhrase(answer.status) + "\r\n";
    bytes += "Content-Type: " + answer.type + "\r\n";
    bytes += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
    bytes += "Cache-Control: no-store\r\n"
             "X-Content-Type-Options: nosniff\r\n"
             "Referrer-Policy: no-referrer\r\n"
             "Content-Security-Policy: default-src 'self'; connect-src 'self'; "
             "frame-ancestors 'none'; base-uri 'none'; form-action 'none'\r\n"
             "Allow: GET\r\n";
    if (answer.status == 426)
        bytes += "Upgrade: websocket\r\n";
    if (closing)
        bytes += "Connection: close\r\n";
    bytes += "\r\n";
    if (!headOnly)
        bytes += answer.body;
    return bytes;
}

} // namespace varlo::scpi::web
