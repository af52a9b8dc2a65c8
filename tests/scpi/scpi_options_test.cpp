// varlo-scpi's options read as the command line gives them, without starting the program.
#include "scpi/scpi_options.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

using namespace varlo;
using namespace varlo::scpi;

namespace {

struct OptionsRow {
    const char* name;
    std::function<void(OptionTexts&)> given;
};

// The texts of "--port COM3" on a machine named bench, changed as the row gives.
Checked<ScpiOptions> readWith(const OptionsRow& row)
{
    OptionTexts texts{.port = "COM3", .hostName = "bench"};
    row.given(texts);
    return readScpiOptions(texts);
}

struct RefusalRow {
    OptionsRow options;
    std::string refusal;
};

TEST(ScpiOptions, EachRefusalNamesItsOption)
{
    const std::string listenForm =
        "--listen takes [ADDRESS:]PORT such as 5025, 0.0.0.0:5025 or [::]:5025, not ";
    const auto listen = [](const char* text) { return [=](OptionTexts& t) { t.listen = text; }; };
    const RefusalRow rows[] = {
        {{"no port", [](OptionTexts& t) { t.port.reset(); }}, "--port is required"},
        {{"port above 65535", listen("65536")}, listenForm + "\"65536\""},
        {{"bare IPv6 with a port", listen("::1:5025")}, listenForm + "\"::1:5025\""},
        {{"address without a port", listen("[::1]")}, listenForm + "\"[::1]\""},
        {{"colon without an address", listen(":5025")}, listenForm + "\":5025\""},
        {{"empty brackets", listen("[]:5025")}, listenForm + "\"[]:5025\""},
        {{"IPv4 without a port", listen("127.0.0.1")}, listenForm + "\"127.0.0.1\""},
        {{"text after the port", listen("5025x")}, listenForm + "\"5025x\""},
        {{"listen on a host name", listen("bench:5025")},
         "--listen takes an IP address such as 127.0.0.1, 0.0.0.0 or [::], not \"bench\""},
        {{"broadcast", listen("255.255.255.255:5025")},
         "--listen takes an address of this machine, not the broadcast address "
         "\"255.255.255.255\""},
        {{"multicast", listen("[ff02::1]:5025")},
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
        {{"serial with a blank", [](OptionTexts& t) { t.serial = "A 1"; }},
         "--serial takes 1 to 64 printable characters without blanks, commas, semicolons or "
         "quotes, not \"A 1\""},
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
    const auto set = [](std::optional<std::string> OptionTexts::*option, const char* text) {
        return [=](OptionTexts& t) { t.*option = text; };
    };
    const ReadRow rows[] = {
        {{"defaults", [](OptionTexts&) {}}, {"127.0.0.1", 5025}, {{"127.0.0.1", 8080}}, false},
        {{"a port alone is loopback", set(&OptionTexts::listen, "5026")},
         {"127.0.0.1", 5026},
         {{"127.0.0.1", 8080}},
         false},
        {{"all of IPv4 is announced", set(&OptionTexts::listen, "0.0.0.0:5025")},
         {"0.0.0.0", 5025},
         {{"0.0.0.0", 8080}},
         true},
        {{"IPv6 in brackets", set(&OptionTexts::listen, "[::]:5025")},
         {"::", 5025},
         {{"::", 8080}},
         true},
        {{"port 0 on IPv6 loopback", set(&OptionTexts::listen, "[::1]:0")},
         {"::1", 0},
         {{"::1", 8080}},
         false},
        {{"IPv4 as the resolver reads it", set(&OptionTexts::listen, "127.1:5025")},
         {"127.1", 5025},
         {{"127.1", 8080}},
         false},
        {{"http off", set(&OptionTexts::http, "off")}, {"127.0.0.1", 5025}, std::nullopt, false},
        {{"http port on the listen address", set(&OptionTexts::http, "8081")},
         {"127.0.0.1", 5025},
         {{"127.0.0.1", 8081}},
         false},
        {{"a page beyond loopback is announced", set(&OptionTexts::http, "0.0.0.0:80")},
         {"127.0.0.1", 5025},
         {{"0.0.0.0", 80}},
         true},
        {{"IPv4 loopback as IPv6 is loopback", set(&OptionTexts::http, "[::ffff:127.0.0.1]:80")},
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
    EXPECT_FALSE(options.labNetwork.httpGiven);
    EXPECT_EQ(options.labNetwork.serviceName, "Varlo generator on bench (COM3)");
    EXPECT_EQ(options.labNetwork.serialNumber, std::nullopt);
}

} // namespace
