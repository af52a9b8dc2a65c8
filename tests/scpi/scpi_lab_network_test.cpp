// What varlo-scpi says of itself on the lab network, and which requests its web port takes:
// the service name and TXT records, the identification document's escaping, the resource
// strings, the page served with its facts, *IDN?'s serial number, --http, and the Host and
// Origin rules.

#include "scpi/language/command_table.h"
#include "scpi/language/instrument_identity.h"
#include "scpi/mdns/announcement.h"
#include "scpi/web/identification_document.h"
#include "scpi/web/page_facts.h"
#include "scpi/web/request_checks.h"
#include "scpi/web/resource_strings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace varlo;
using namespace varlo::scpi;
using namespace varlo::scpi::web;

namespace {

struct NameRow {
    const char* name;
    std::string host;
    std::string expected;
};

TEST(ServiceName, DefaultKeepsThePortWithinSixtyThreeBytes)
{
    const std::string longHost(80, 'h');
    const NameRow rows[] = {
        {"short host", "bench", "Varlo generator on bench (COM5)"},
        {"long host cut", longHost, "Varlo generator on " + std::string(37, 'h') + " (COM5)"},
        {"never inside a character", std::string(36, 'h') + "\xC3\xA9",
         "Varlo generator on " + std::string(36, 'h') + " (COM5)"},
    };
    for (const NameRow& row : rows) {
        const std::string name = defaultServiceName(row.host, "COM5");
        EXPECT_EQ(name, row.expected) << row.name;
        EXPECT_LE(name.size(), MaxServiceNameBytes) << row.name;
    }
}

TEST(ServiceName, GivenNameIsUtf8WithoutControlsUpToSixtyThreeBytes)
{
    struct Row {
        const char* name;
        std::string text;
        bool taken;
    };
    const Row rows[] = {
        {"plain", "Bench 3 generator", true},
        {"accented", "G\xC3\xA9n\xC3\xA9rateur", true},
        {"63 bytes", std::string(63, 'n'), true},
        {"64 bytes", std::string(64, 'n'), false},
        {"empty", "", false},
        {"tab", "a\tb", false},
        {"broken UTF-8", "a\xC3", false},
    };
    for (const Row& row : rows) {
        const Checked<std::string> parsed = parseServiceName(row.text);
        EXPECT_EQ(refusalOf(parsed) == nullptr, row.taken) << row.name;
    }
    EXPECT_EQ(refusalOf(parseServiceName("a\tb"))->message,
              "--name takes 1 to 63 bytes of text without control characters, not \"a\tb\"");
}

TEST(Announcement, SocketAlwaysVxi11AndWebServicesWhenServed)
{
    const InstrumentIdentity identity{.serialNumber = "A1"};
    const std::vector<std::string> txt = {"txtvers=1", "Manufacturer=Varlo", "Model=varlo-scpi",
                                          "SerialNumber=A1",
                                          std::string("FirmwareVersion=") + VARLO_SCPI_VERSION};
    std::vector<std::string> web = txt;
    web.push_back("path=/");
    EXPECT_EQ(announcementOf("N", 5025, 8080, identity).services,
              (std::vector<AnnouncedService>{{"_scpi-raw._tcp", 5025, txt},
                                             {"_lxi._tcp", 8080, txt},
                                             {"_http._tcp", 8080, web}}));
    EXPECT_EQ(announcementOf("N", 5025, std::nullopt, identity).services,
              (std::vector<AnnouncedService>{{"_scpi-raw._tcp", 5025, txt}}));
    EXPECT_EQ(announcementOf("N", 5025, std::nullopt, identity, 40000).services,
              (std::vector<AnnouncedService>{{"_scpi-raw._tcp", 5025, txt},
                                             {"_vxi-11._tcp", 40000, txt}}));
}

TEST(IdentificationDocument, TextIsEscaped)
{
    IdentificationFacts facts;
    facts.serviceName = "R&D <bench> \"3\" 'a'";
    EXPECT_NE(identificationDocument(facts).find(
                  "<UserDescription>R&amp;D &lt;bench&gt; &quot;3&quot; &apos;a&apos;"
                  "</UserDescription>"),
              std::string::npos);
}

TEST(ResourceStrings, InstrFirstWhileVxi11IsServed)
{
    struct Row {
        const char* name;
        const char* host;
        bool vxi11;
        std::vector<std::string> strings;
    };
    const Row rows[] = {
        {"address",
         "192.168.1.5",
         true,
         {"TCPIP::192.168.1.5::inst0::INSTR", "TCPIP::192.168.1.5::5025::SOCKET"}},
        {"IPv6 bracketed",
         "::1",
         true,
         {"TCPIP::[::1]::inst0::INSTR", "TCPIP::[::1]::5025::SOCKET"}},
        {"VXI-11 off", "bench", false, {"TCPIP::bench::5025::SOCKET"}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(resourceStringsAt(row.host, 5025, row.vxi11), row.strings) << row.name;
}

TEST(PageWithFacts, WritesEachFactEscapedIntoItsElement)
{
    const std::string page = "<title id=\"page-title\">V</title><dd id=\"title\">–</dd>"
                             "<ul id=\"resources\"></ul>";
    struct Row {
        const char* name;
        PageFact fact;
        std::string served;
    };
    const Row rows[] = {
        {"text in place of the dash",
         {"title", "Bench 3"},
         "<title id=\"page-title\">V</title><dd id=\"title\">Bench 3</dd><ul "
         "id=\"resources\"></ul>"},
        {"the id matched whole",
         {"page-title", "N"},
         "<title id=\"page-title\">N</title><dd id=\"title\">–</dd><ul id=\"resources\"></ul>"},
        {"a name escaped",
         {"title", "<b id=\"resources\">R&D"},
         "<title id=\"page-title\">V</title><dd id=\"title\">&lt;b "
         "id=&quot;resources&quot;&gt;R&amp;D"
         "</dd><ul id=\"resources\"></ul>"},
        {"a list as items of code",
         {"resources", std::vector<std::string>{"TCPIP::a::inst0::INSTR", "<x>"}},
         "<title id=\"page-title\">V</title><dd id=\"title\">–</dd><ul id=\"resources\">"
         "<li><code>TCPIP::a::inst0::INSTR</code></li><li><code>&lt;x&gt;</code></li></ul>"},
        {"no such element", {"host-name", "bench"}, page},
    };
    for (const Row& row : rows)
        EXPECT_EQ(pageWithFacts(page, {row.fact}), row.served) << row.name;
}

class SerialNumber : public testing::Test {
protected:
    void TearDown() override { setSerialNumber(InstrumentIdentity{}.serialNumber); }
};

TEST_F(SerialNumber, IdnAnswersTheOneSetAndOnlyTextThatFitsIt)
{
    setSerialNumber("FT4711AB");
    EXPECT_EQ(identity(), std::string("Varlo,varlo-scpi,FT4711AB,") + VARLO_SCPI_VERSION);
    struct Row {
        const char* name;
        std::string text;
        bool fits;
    };
    const Row rows[] = {
        {"adapter's", "A10KXYZ9", true},
        {"dashes", "SN-4711", true},
        {"empty", "", false},
        {"comma", "A,1", false},
        {"semicolon", "A;1", false},
        {"blank", "A 1", false},
        {"quote", "A\"1", false},
        {"control", "A\n1", false},
        {"65 long", std::string(65, 'x'), false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(isSerialNumberText(row.text), row.fits) << row.name;
}

TEST(RequestChecks, HostMustNameThisProgramAndItsPort)
{
    const std::vector<std::string> names = {"192.168.1.5", "bench", "bench.local", "::1"};
    struct Row {
        const char* name;
        const char* host;
        bool served;
    };
    const Row rows[] = {
        {"address", "192.168.1.5:8080", true},
        {"host name", "bench:8080", true},
        {"any case, final dot", "Bench.Local.:8080", true},
        {"IPv6 in brackets", "[::1]:8080", true},
        {"another site's name", "attacker.example:8080", false},
        {"another port", "bench:8081", false},
        {"no port is 80", "bench", false},
        {"empty", "", false},
        {"a name with a user", "x@bench:8080", false},
        {"bare IPv6", "::1:8080", false},
        {"text after the bracket", "[::1]x:8080", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(isServedHost(row.host, names, 8080), row.served) << row.name;
    EXPECT_TRUE(isServedHost("bench", names, 80));
}

TEST(RequestChecks, OriginMustBeThePagesOwnWhenThereIsOne)
{
    struct Row {
        const char* name;
        std::optional<std::string_view> origin;
        bool same;
    };
    const Row rows[] = {
        {"no origin: not a page", std::nullopt, true},
        {"own page", "http://bench:8080", true},
        {"own page, other case", "http://BENCH:8080", true},
        {"another site", "http://attacker.example", false},
        {"another port", "http://bench:8081", false},
        {"opaque origin", "null", false},
        {"another scheme", "https://bench:8080", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(isSameOrigin(row.origin, "bench:8080"), row.same) << row.name;
}

} // namespace
