// What a browser, or anything else that reaches the web port, sends before its first blank
// line: the head reader answers with a head, "more", or "malformed", and never reads past
// what it was given. A head read whole reads the same from a longer stream, so that a
// pipelined request after it cannot change it, and a head never claims more than it took.

#include "fuzz/fuzz_check.h"
#include "scpi/web/request_head.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

using namespace varlo::scpi::web;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto read = readRequestHead(bytes);
    const auto* head = std::get_if<RequestHead>(&read);
    if (head == nullptr)
        return 0;
    FUZZ_CHECK(head->length > 0 && head->length <= bytes.size());
    FUZZ_CHECK(head->minorVersion == 0 || head->minorVersion == 1);
    // The same head, read from just its own bytes and from those with more behind them.
    const auto alone = readRequestHead(std::string_view(bytes).substr(0, head->length));
    const auto* same = std::get_if<RequestHead>(&alone);
    FUZZ_CHECK(same != nullptr && same->length == head->length && same->path == head->path &&
               same->method == head->method && same->fields == head->fields);
    const auto longer = readRequestHead(bytes + "GET / HTTP/1.1\r\n\r\n");
    const auto* stillSame = std::get_if<RequestHead>(&longer);
    FUZZ_CHECK(stillSame != nullptr && stillSame->length == head->length);
    // The questions the connection asks of a head are answered for any head.
    (void)head->keepsConnection();
    (void)head->hasBody();
    if (head->asksForWebSocket())
        (void)head->upgradeFault();
    return 0;
}
