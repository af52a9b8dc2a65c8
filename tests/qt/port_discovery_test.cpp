#include "serial/port_discovery.h"

#include "serial/serial_link.h"

#include "tests/qt/lock_holders.h"
#include "tests/qt/pty_pair.h"
#include "tests/qt/recording_dialogs.h"
#include "tests/start_up_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

using Box = RecordingDialogs::Box;

namespace {

Box question(int port)
{
    return {"question", "Function Generator", "Find Com " + std::to_string(port) + ", Using it?"};
}

Box usingPort(const std::string& text)
{
    return {"information", "Function Generator", text};
}

const Box NoPortBox{"stop", "Function Generator", "No communication port can use!"};

class Discovery : public ::testing::Test {
protected:
    void publish(std::initializer_list<int> numbers)
    {
        for (int n : numbers)
            ptys[n] = std::make_unique<PtyPair>(ports.path(), n);
    }
    std::vector<int> heldPorts() const
    {
        std::vector<int> held;
        for (const auto& [n, pty] : ptys)
            if (pty->slaveHeldOpen())
                held.push_back(n);
        return held;
    }

    PortDir ports;
    std::map<int, std::unique_ptr<PtyPair>> ptys;
    RecordingDialogs dialogs;
    varlo::SerialLink link;
};

TEST_F(Discovery, NoOpenablePortAsksNothingAndEndsTheProgram)
{
    EXPECT_EQ(varlo::discoverPort(link, dialogs), std::nullopt);
    EXPECT_EQ(dialogs.boxes, std::vector<Box>{NoPortBox});
    EXPECT_TRUE(dialogs.ended);
    EXPECT_FALSE(link.isOpen());
}

TEST_F(Discovery, AsksAboutEveryOpenPortFromTheTopDown)
{
    publish({3, 12, 5});
    EXPECT_EQ(varlo::discoverPort(link, dialogs), std::nullopt);
    EXPECT_EQ(dialogs.boxes, (std::vector<Box>{question(12), question(5), question(3), NoPortBox}));
    EXPECT_TRUE(dialogs.ended);
    EXPECT_TRUE(heldPorts().empty());
}

TEST_F(Discovery, SixteenIsAskedFirst)
{
    publish({1, 16});
    dialogs.answers = {true};
    EXPECT_EQ(varlo::discoverPort(link, dialogs), 16);
    EXPECT_EQ(dialogs.boxes, (std::vector<Box>{question(16), usingPort("Using COM16:")}));
}

TEST_F(Discovery, DeclinedPortIsClosedBeforeTheNextIsTried)
{
    publish({12, 5, 3});
    std::vector<std::vector<int>> heldAtQuestions;
    dialogs.onQuestion = [&](const std::string&) { heldAtQuestions.push_back(heldPorts()); };
    EXPECT_EQ(varlo::discoverPort(link, dialogs), std::nullopt);
    EXPECT_EQ(heldAtQuestions, (std::vector<std::vector<int>>{{12}, {5}, {3}}));
}

TEST_F(Discovery, YesStopsTheScanAndLowerPortsAreNeverOpened)
{
    publish({12, 5, 3});
    OpenWatch watch3(ptys[3]->slavePath());
    ASSERT_TRUE(watch3.watching());
    dialogs.answers = {false, true};
    EXPECT_EQ(varlo::discoverPort(link, dialogs), 5);
    EXPECT_EQ(dialogs.boxes,
              (std::vector<Box>{question(12), question(5), usingPort("Using COM5:")}));
    EXPECT_FALSE(dialogs.ended);
    EXPECT_FALSE(watch3.opened());
    EXPECT_EQ(heldPorts(), std::vector<int>{5});
    EXPECT_EQ(link.setOutput(StartUpCommand), 0);
    EXPECT_EQ(ptys[5]->readAtMaster(10), StartUpCommand);
}

struct AcceptRow {
    const char* name;
    int port;
    const char* text;
};

class AcceptedPort : public Discovery, public ::testing::WithParamInterface<AcceptRow> {};

TEST_P(AcceptedPort, IsAnnouncedByNumber)
{
    publish({GetParam().port});
    dialogs.answers = {true};
    EXPECT_EQ(varlo::discoverPort(link, dialogs), GetParam().port);
    EXPECT_EQ(dialogs.boxes,
              (std::vector<Box>{question(GetParam().port), usingPort(GetParam().text)}));
    EXPECT_TRUE(link.isOpen());
}

INSTANTIATE_TEST_SUITE_P(Ports, AcceptedPort,
                         ::testing::Values(AcceptRow{"SingleDigit", 3, "Using COM3:"},
                                           AcceptRow{"TwoDigits", 12, "Using COM12:"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Discovery, UnusablePortsGetNoBoxButTheirReasonOnStderr)
{
    publish({5, 3});
    FlockingChild terminal(ptys[5]->slavePath());
    ASSERT_TRUE(terminal.holding());
    const std::string dir = ports.path().toStdString();
    std::ofstream(dir + "/COM4") << "not a port";
    ASSERT_EQ(::symlink("COM6", (dir + "/COM6").c_str()), 0);
    dialogs.answers = {true};
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(varlo::discoverPort(link, dialogs), 3);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "COM6 (" + dir + "/COM6): broken link: the links lead round in a loop\n" + "COM5 (" +
                  dir + "/COM5): busy: " + ownProgramName() + " (pid " +
                  std::to_string(terminal.pid()) + ") holds it\n" + "COM4 (" + dir +
                  "/COM4): not a terminal\n");
    EXPECT_EQ(dialogs.boxes, (std::vector<Box>{question(3), usingPort("Using COM3:")}));
}

// Started from the menu, the user never sees stderr: the box that ends the program shows the
// same lines behind its details.
TEST_F(Discovery, NoUsablePortShowsTheReasonsOnStderrAsTheBoxsDetails)
{
    publish({5});
    FlockingChild terminal(ptys[5]->slavePath());
    ASSERT_TRUE(terminal.holding());
    std::ofstream(ports.path().toStdString() + "/COM4") << "not a port";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(varlo::discoverPort(link, dialogs), std::nullopt);
    const std::string reasons = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(std::count(reasons.begin(), reasons.end(), '\n'), 2) << reasons;
    Box withDetails = NoPortBox;
    withDetails.details = reasons.substr(0, reasons.size() - 1);
    EXPECT_EQ(dialogs.boxes, std::vector<Box>{withDetails});
    EXPECT_TRUE(dialogs.ended);
}

TEST_F(Discovery, PortHeldByAnotherVarloIsSkippedWithoutABox)
{
    publish({5, 3});
    SecondVarlo other(5);
    ASSERT_EQ(other.openResult(), 5);
    dialogs.answers = {true};
    EXPECT_EQ(varlo::discoverPort(link, dialogs), 3);
    EXPECT_EQ(dialogs.boxes, (std::vector<Box>{question(3), usingPort("Using COM3:")}));
}

} // namespace
