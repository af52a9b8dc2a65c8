// varlo-scpi's options read as the command line gives them, without starting the program.
#include "scpi/scpi_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace varlo;
using namespace varlo::scpi;

namespace {

// A row's change of the texts: --listen or --http as given, and anything else by `given`.
// Plain pointers, not std::function: GCC 12 at -O3 misreads a table of those.
struct OptionsRow {
    const char* name;
    void (*given)(OptionTexts&) = nullptr;
    const char* listen = nullptr;
    const char* http = nullptr;
};

// The texts of "--port COM3" on a machine named bench, changed as the row gives.
Checked<ScpiOptions> readWith(const OptionsRow& row)
{
    OptionTexts texts{.port = "COM3", .hostName = "bench"};
    if (row.given != nullptr)
        row.given(texts);
    if (row.listen != nullptr)
        texts.listen = row.listen;
    if (row.http != nullptr)
        texts.http = row.http;
    return readScpiOptions(texts);
}

// "--listen takes ..., not "TEXT"", written out by appending for the same reason.
std::string listenRefusal(const char* text)
{
    std::string refusal =
        "--listen takes [ADDRESS:]PORT such as 5025, 0.0.0.0:5025 or [::]:5025, not \"";
    return refusal.append(text).append("\"");
}

struct RefusalRow {
    OptionsRow options;
    std::string refusal;
};

TEST(ScpiOptions, EachRefusalNamesItsOption)
{
    const RefusalRow rows[] = {
        {{"no port", [](OptionTexts& t) { t.port.reset(); }}, "--port is required"},
        {{"port above 65535", nullptr, "65536"}, listenRefusal("65536")},
        {{"bare IPv6 with a port", nullptr, "::1:5025"}, listenRefusal("::1:5025")},
        {{"address without a port", nullptr, "[::1]"}, listenRefusal("[::1]")},
        {{"colon without an address", nullptr, ":5025"}, listenRefusal(":5025")},
        {{"empty brackets", nullptr, "[]:5025"}, listenRefusal("[]:5025")},
        {{"IPv4 without a port", nullptr, "127.0.0.1"}, listenRefusal("127.0.0.1")},
        {{"text after the port", nullptr, "5025x"}, listenRefusal("5025x")},
        {{"listen on a host name", nullptr, "bench:5025"},
         "--listen takes an IP address such as 127.0.0.1, 0.0.0.0 or [::], not \"bench\""},
        {{"broadcast", nullptr, "255.255.255.255:5025"},
         "--listen takes an address of this machine, not the broadcast address "
         "\"255.255.255.255\""},
        {{"multicast", nullptr, "[ff02::1]:5025"},
         "--listen takes an address of this machine, not the multicast address \"ff02::1\""},
        {{"no clients", [](OptionTexts& t) { t.clients = "0"; }},
         "--clients takes a whole number from 1 to 1000, not \"0\""},
        {{"idle below 0", [](OptionTexts& t) { t.idle = "-1"; }},
         "--idle takes a whole number of seconds from 0 to 86400, not \"-1\""},
        {{"http on", [](OptionTexts& t) { t.http = "on"; }},
         "--http takes [ADDRESS:]PORT such as 8080 or 0.0.0.0:8080, or off, not \"on\""},
        {{"http on a host name", [](OptionTexts& t) { t.http = "bench:8080"; }},
         "--http takes an IP address such as 127.0.0.1, 0.0.0.0 or [::], not \"bench\""},
        {{"mdns both ways",
          [](OptionTexts& t) {
              t.mdns = true;
              t.noMdns = true;
          }},
         "--mdns and --no-mdns cannot both be given"},
        {{"vxi11 set past the last port", [](OptionTexts& t) { t.vxi11 = "65532"; }},
         "--vxi11 takes a port from 1 to 65531, or off, not \"65532\""},
        {{"serial with a blank", [](OptionTexts& t) { t.serial = "A 1"; }},
         "--serial takes 1 to 64 printable characters without blanks, commas, semicolons or "
         "quotes, not \"A 1\""},
        {{"portmapper by another name", [](OptionTexts& t) { t.portmapper = "rpcbind"; }},
         "--portmapper takes auto, own, system or off, not \"rpcbind\""},
    };
    for (const RefusalRow& row : rows) {
        const Checked<ScpiOptions> read = readWith(row.options);
        ASSERT_NE(refusalOf(read), nullptr) << row.options.name;
        EXPECT_EQ(refusalOf(read)->message, row.refusal) << row.options.name;
    }
}

struct ReadRow {
    OptionsRow options;
    ListenAddress listen;
    std::optional<ListenAddress> http;
    bool announce;
};

TEST(ScpiOptions, AddressesAndTheAnnouncementFollowFromListenAndHttp)
{
    const ReadRow rows[] = {
        {{"defaults", [](OptionTexts&) {}}, {"127.0.0.1", 5025}, {{"127.0.0.1", 8080}}, false},
        {{"a port alone is loopback", nullptr, "5026"},
         {"127.0.0.1", 5026},
         {{"127.0.0.1", 8080}},
         false},
        {{"all of IPv4 is announced", nullptr, "0.0.0.0:5025"},
         {"0.0.0.0", 5025},
         {{"0.0.0.0", 8080}},
         true},
        {{"IPv6 in brackets", nullptr, "[::]:5025"}, {"::", 5025}, {{"::", 8080}}, true},
        {{"port 0 on IPv6 loopback", nullptr, "[::1]:0"}, {"::1", 0}, {{"::1", 8080}}, false},
        {{"IPv4 as the resolver reads it", nullptr, "127.1:5025"},
         {"127.1", 5025},
         {{"127.1", 8080}},
         false},
        {{"http off", nullptr, nullptr, "off"}, {"127.0.0.1", 5025}, std::nullopt, false},
        {{"http port on the listen address", nullptr, nullptr, "8081"},
         {"127.0.0.1", 5025},
         {{"127.0.0.1", 8081}},
         false},
        {{"a page beyond loopback is announced", nullptr, nullptr, "0.0.0.0:80"},
         {"127.0.0.1", 5025},
         {{"0.0.0.0", 80}},
         true},
        {{"IPv4 loopback as IPv6 is loopback", nullptr, nullptr, "[::ffff:127.0.0.1]:80"},
         {"127.0.0.1", 5025},
         {{"::ffff:127.0.0.1", 80}},
         false},
        {{"mdns on loopback", [](OptionTexts& t) { t.mdns = true; }},
         {"127.0.0.1", 5025},
         {{"127.0.0.1", 8080}},
         true},
        {{"no mdns beyond loopback",
          [](OptionTexts& t) {
              t.listen = "0.0.0.0:5025";
              t.noMdns = true;
          }},
         {"0.0.0.0", 5025},
         {{"0.0.0.0", 8080}},
         false},
    };
    for (const ReadRow& row : rows) {
        const Checked<ScpiOptions> read = readWith(row.options);
        ASSERT_EQ(refusalOf(read), nullptr) << row.options.name << ": " << refusalOf(read)->message;
        const ScpiOptions& options = std::get<ScpiOptions>(read);
        EXPECT_EQ(options.listen, row.listen) << row.options.name;
        EXPECT_EQ(options.labNetwork.http, row.http) << row.options.name;
        EXPECT_EQ(options.labNetwork.announce, row.announce) << row.options.name;
    }
}

TEST(ScpiOptions, DefaultsFillWhatIsNotGiven)
{
    const ScpiOptions options = std::get<ScpiOptions>(readWith({"defaults", [](OptionTexts&) {}}));
    EXPECT_EQ(options.port, (PortChoice{3, {}}));
    EXPECT_EQ(options.clients, 4);
    EXPECT_EQ(options.idleSeconds, 30);
    EXPECT_TRUE(options.logCommands);
    EXPECT_EQ(options.portmapper, PortmapperMode::Auto);
    EXPECT_FALSE(options.labNetwork.httpGiven);
    EXPECT_EQ(options.labNetwork.serviceName, "Varlo generator on bench (COM3)");
    EXPECT_EQ(options.labNetwork.serialNumber, std::nullopt);
    EXPECT_EQ(options.vxi11, 0) << "VXI-11 on ports the system gives";
}

TEST(ScpiOptions, Vxi11IsAFirstPortOrOff)
{
    const auto read = [](void (*given)(OptionTexts&)) {
        return std::get<ScpiOptions>(readWith({"vxi11", given}));
    };
    const ScpiOptions fixed = read([](OptionTexts& t) { t.vxi11 = "5030"; });
    EXPECT_EQ(fixed.vxi11, 5030);
    EXPECT_TRUE(fixed.labNetwork.vxi11) << "the page shows the INSTR strings";
    const ScpiOptions off = read([](OptionTexts& t) { t.vxi11 = "off"; });
    EXPECT_EQ(off.vxi11, std::nullopt);
    EXPECT_FALSE(off.labNetwork.vxi11) << "the page shows no INSTR string";
}

} // namespace
