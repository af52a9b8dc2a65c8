// How the web port reads a request's head, and how the journal holds back a flood of lines.

#include "scpi/generator/journal_limiter.h"
#include "scpi/web/request_head.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace varlo::scpi;
using namespace varlo::scpi::web;
using namespace std::chrono_literals;

namespace {

struct HeadRow {
    const char* name;
    std::string bytes;
    // "incomplete", "malformed", or what the head says: "METHOD PATH keeps|closes
    // websocket|-" and the upgrade's fault.
    std::string read;
};

std::string described(const std::variant<RequestHead, HeadReading>& read)
{
    if (const auto* reading = std::get_if<HeadReading>(&read))
        return *reading == HeadReading::Incomplete ? "incomplete" : "malformed";
    const RequestHead& head = std::get<RequestHead>(read);
    return head.method + ' ' + head.path + (head.keepsConnection() ? " keeps" : " closes") +
           (head.hasBody() ? " body" : "") +
           (head.asksForWebSocket() ? " websocket" + head.upgradeFault() : "");
}

TEST(RequestHead, ReadsWhatTheServerActsOn)
{
    const std::string key = "Upgrade: websocket\r\nConnection: keep-alive, Upgrade\r\n";
    const std::string version = "Sec-WebSocket-Version: 13\r\n\r\n";
    const std::vector<HeadRow> rows = {
        {"plain", "GET /page.js?v=1 HTTP/1.1\r\nHost: a\r\n\r\n", "GET /page.js keeps"},
        {"not yet whole", "GET / HTTP/1.1\r\nHost: a\r\n", "incomplete"},
        {"bare line feeds", "GET / HTTP/1.1\nHost: a\n\n", "GET / keeps"},
        {"empty line first", "\r\nGET / HTTP/1.1\r\n\r\n", "GET / keeps"},
        {"close asked", "GET / HTTP/1.1\r\nconnection: Close\r\n\r\n", "GET / closes"},
        {"HTTP/1.0", "GET / HTTP/1.0\r\n\r\n", "GET / closes"},
        {"body", "POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\n", "POST / keeps body"},
        {"other version", "GET / HTTP/2.0\r\n\r\n", "malformed"},
        {"no path", "GET http://a/ HTTP/1.1\r\n\r\n", "malformed"},
        {"field without colon", "GET / HTTP/1.1\r\nHost\r\n\r\n", "malformed"},
        {"folded field", "GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n", "malformed"},
        {"opening", "GET /live HTTP/1.1\r\n" + key + "Sec-WebSocket-Key: k\r\n" + version,
         "GET /live keeps websocket"},
        {"opening of another version",
         "GET /live HTTP/1.1\r\n" + key +
             "Sec-WebSocket-Key: k\r\nSec-WebSocket-Version: 8\r\n\r\n",
         "GET /live keeps websocketa WebSocket opening not of version 13"},
        {"opening without key", "GET /live HTTP/1.1\r\n" + key + "\r\n",
         "GET /live keeps websocketa WebSocket opening without Sec-WebSocket-Key"},
        {"opening by POST", "POST /live HTTP/1.1\r\n" + key + "Sec-WebSocket-Key: k\r\n\r\n",
         "POST /live keeps websocketa WebSocket opening not by GET"},
        {"opening in 1.0", "GET /live HTTP/1.0\r\n" + key + "Sec-WebSocket-Key: k\r\n\r\n",
         "GET /live closes websocketa WebSocket opening in HTTP/1.0"},
    };
    for (const HeadRow& row : rows)
        EXPECT_EQ(described(readRequestHead(row.bytes)), row.read) << row.name;
}

TEST(RequestHead, LengthEndsAtTheBlankLine)
{
    const auto read = readRequestHead("GET / HTTP/1.1\r\nHost: a\r\n\r\nGET /next");
    EXPECT_EQ(std::get<RequestHead>(read).length, 27u);
    EXPECT_EQ(std::get<RequestHead>(read).field("host"), "a");
}

struct LimiterRow {
    const char* name;
    // At each second, a line of kind "a" or "b", or "-" for only asking for the counts.
    std::vector<std::pair<int, std::string>> events;
    std::vector<std::string> written;
};

TEST(JournalLimiter, FirstLineThenCounts)
{
    const std::vector<LimiterRow> rows = {
        {"each kind's first line", {{0, "a"}, {1, "b"}}, {"a 0", "b 1"}},
        {"a flood counted once its window has passed",
         {{0, "a"}, {1, "a"}, {2, "a"}, {9, "-"}, {10, "-"}},
         {"a 0", "2 more lines like \"a\" in the last 10 s"}},
        {"the next line after a window",
         {{0, "a"}, {3, "a"}, {12, "a"}},
         {"a 0", "1 more line like \"a\" in the last 10 s", "a 12"}},
        {"a quiet kind writes no count", {{0, "a"}, {20, "-"}, {21, "a"}}, {"a 0", "a 21"}},
    };
    for (const LimiterRow& row : rows) {
        JournalLimiter limiter;
        std::vector<std::string> written;
        const JournalLimiter::Clock::time_point start{};
        for (const auto& [second, kind] : row.events) {
            const auto now = start + std::chrono::seconds(second);
            const auto lines = kind == "-"
                                   ? limiter.due(now)
                                   : limiter.admit(kind, kind + ' ' + std::to_string(second), now);
            written.insert(written.end(), lines.begin(), lines.end());
        }
        EXPECT_EQ(written, row.written) << row.name;
    }
}

} // namespace
