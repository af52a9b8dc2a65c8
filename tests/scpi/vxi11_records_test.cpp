// How the bytes of a stream become records, and how XDR items are read and written.

#include "scpi/vxi11/record_marking.h"
#include "scpi/vxi11/xdr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace varlo::vxi11;

namespace {

Bytes bytesOf(const std::string& text)
{
    return {text.begin(), text.end()};
}

std::string textOf(const Bytes& bytes)
{
    return {bytes.begin(), bytes.end()};
}

// The records of a stream cut into pieces of `piece` bytes, each piece taken as a
// connection takes it: record by record.
std::vector<std::string> recordsOf(const Bytes& stream, std::size_t piece,
                                   RecordReader reader = RecordReader())
{
    std::vector<std::string> records;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        ByteView bytes = ByteView(stream).subspan(at, std::min(piece, stream.size() - at));
        while (!bytes.empty() && !reader.refused()) {
            bytes = bytes.subspan(reader.take(bytes));
            while (auto record = reader.next())
                records.push_back(textOf(*record));
        }
    }
    if (reader.refused())
        records.push_back("<refused>");
    if (reader.midRecord())
        records.push_back("<unfinished>");
    return records;
}

// Two records: the first in fragments of 3 and 2 bytes, the second one empty fragment.
const Bytes TwoRecords = {0, 0, 0, 3, 'a', 'b', 'c', 0x80, 0, 0, 2, 'd', 'e', 0x80, 0, 0, 0};

TEST(RecordReader, JoinsFragmentsHoweverTheStreamIsCut)
{
    for (std::size_t piece = 1; piece <= TwoRecords.size(); ++piece)
        EXPECT_EQ(recordsOf(TwoRecords, piece), (std::vector<std::string>{"abcde", ""})) << piece;
}

TEST(RecordReader, RefusesAFragmentPastTheBoundAtItsMark)
{
    // Announced past the bound, at once: the mark is taken, and nothing after it.
    RecordReader reader;
    const Bytes mark = {0x80, 0, 0x20, 0x01, 'x'};
    EXPECT_EQ(reader.take(mark), 4U);
    EXPECT_TRUE(reader.refused());
    EXPECT_EQ(reader.take(mark), 0U);
    EXPECT_EQ(reader.wanted(), 0U);
    // The whole record is bounded, fragments together: 8 bytes pass, the 9th is refused.
    const Bytes fragments = {0, 0, 0, 4, 'a', 'b', 'c', 'd', 0x80, 0, 0, 5, 'e'};
    EXPECT_EQ(recordsOf(fragments, 1, RecordReader(8)), (std::vector<std::string>{"<refused>"}));
    const Bytes bound = {0, 0, 0, 4, 'a', 'b', 'c', 'd', 0x80, 0, 0, 4, 'e', 'f', 'g', 'h'};
    EXPECT_EQ(recordsOf(bound, 5, RecordReader(8)), (std::vector<std::string>{"abcdefgh"}));
}

TEST(RecordReader, WantsTheRestOfTheMarkThenOfTheFragment)
{
    RecordReader reader;
    EXPECT_FALSE(reader.midRecord());
    EXPECT_EQ(reader.take(ByteView(TwoRecords).first(2)), 2U);
    EXPECT_EQ(reader.wanted(), 2U);
    EXPECT_TRUE(reader.midRecord());
    EXPECT_EQ(reader.take(ByteView(TwoRecords).subspan(2, 3)), 3U);
    EXPECT_EQ(reader.wanted(), 2U); // "bc"
    // A record that is whole waits for next(): the bytes after it are left.
    EXPECT_EQ(reader.take(ByteView(TwoRecords).subspan(5)), 8U);
    EXPECT_EQ(reader.take(ByteView(TwoRecords).subspan(13)), 0U);
    EXPECT_EQ(textOf(*reader.next()), "abcde");
    EXPECT_EQ(reader.wanted(), 4U);
}

TEST(RecordWriter, FramesAReplyAsOneLastFragment)
{
    EXPECT_EQ(framedRecord(bytesOf("abcde")), (Bytes{0x80, 0, 0, 5, 'a', 'b', 'c', 'd', 'e'}));
}

TEST(XdrReader, ReadsItemsWithTheirPadding)
{
    const Bytes bytes = {0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 1, 0, 0, 0,   5,   'i', 'n',
                         's',  't',  '0',  0,    0, 0, 0, 0, 0, 9, 'x', 'y', 0,   0};
    XdrReader in(bytes);
    EXPECT_EQ(in.i32(), -2);
    EXPECT_TRUE(in.boolean());
    EXPECT_EQ(in.string(5), "inst0");
    EXPECT_EQ(in.u32(), 9U);
    EXPECT_EQ(in.fixedOpaque(2), "xy");
    EXPECT_TRUE(in.ok());
    EXPECT_TRUE(in.rest().empty());
}

TEST(XdrReader, StopsAtTheFirstItemItCannotRead)
{
    using Read = void (*)(XdrReader&);
    const Read opaque = [](XdrReader& in) { EXPECT_EQ(in.opaque(4), ""); };
    struct Row {
        const char* name;
        Bytes bytes;
        Read read;
    };
    const Row rows[] = {
        {"a word cut short", {0, 0, 1}, [](XdrReader& in) { EXPECT_EQ(in.u32(), 0U); }},
        {"a length past what is left", {0, 0, 0, 8, 'a', 'b', 'c', 'd'}, opaque},
        {"a length past its bound", {0, 0, 0, 5, 'a', 'b', 'c', 'd', 'e', 0, 0, 0}, opaque},
        {"the padding missing", {0, 0, 0, 3, 'a', 'b', 'c'}, opaque},
        {"a length near 2^32", {0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c', 'd'}, opaque},
        {"a bool neither 0 nor 1", {0, 0, 0, 2, 0, 0, 0, 1}, [](XdrReader& in) { in.boolean(); }},
    };
    for (const Row& row : rows) {
        XdrReader in(row.bytes);
        row.read(in);
        EXPECT_FALSE(in.ok()) << row.name;
        EXPECT_EQ(in.u32(), 0U) << row.name << ": a later read";
    }
}

TEST(XdrWriter, PadsWithZerosToAWord)
{
    XdrWriter out;
    out.i32(-2);
    out.opaque("abcde");
    out.fixedOpaque("x");
    EXPECT_EQ(out.bytes(), (Bytes{0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0,   5, 'a', 'b',
                                  'c',  'd',  'e',  0,    0, 0, 'x', 0, 0,   0}));
}

} // namespace
