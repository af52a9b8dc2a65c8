// How a client's bytes become lines, and what --listen takes.

#include "scpi/socket/input_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace varlo;
using namespace varlo::scpi;

namespace {

// The lines of the chunks, added one by one as a connection adds them: a too-long line
// shows as "<too long>".
std::vector<std::string> linesOf(const std::vector<std::string>& chunks)
{
    InputMessages input;
    std::vector<std::string> lines;
    for (const std::string& chunk : chunks) {
        input.add(chunk);
        while (auto line = input.next())
            lines.push_back(line->tooLong ? "<too long>" : line->text);
    }
    return lines;
}

TEST(InputMessages, EndAtLineFeedWithOrWithoutCarriageReturn)
{
    EXPECT_EQ(linesOf({"*IDN?\r\nFREQ 1", "000\n\nFUNC SQU"}),
              (std::vector<std::string>{"*IDN?", "FREQ 1000", ""}));
}

TEST(InputMessages, LongestLineIsKept)
{
    const std::string longest(MaxMessageBytes, 'A');
    EXPECT_EQ(linesOf({longest.substr(0, 100), longest.substr(100) + "\r", "\n"}),
              (std::vector<std::string>{longest}));
}

TEST(InputMessages, LongerLineIsDroppedWholeAndReportedOnce)
{
    const std::string chunk(MaxMessageBytes, 'A');
    EXPECT_EQ(linesOf({chunk, chunk, chunk, "A;*IDN?\n*IDN?\n"}),
              (std::vector<std::string>{"<too long>", "*IDN?"}));
    EXPECT_EQ(linesOf({chunk + "A\n*IDN?\n"}), (std::vector<std::string>{"<too long>", "*IDN?"}));
}

} // namespace
