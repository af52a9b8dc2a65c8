#include "send/send_lines.h"
#include "send/send_options.h"
#include "send/send_plan.h"
#include "send/send_script.h"
#include "tests/start_up_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using varlo::Checked;
using varlo::Refusal;
using varlo::send::PlannedCommand;
using varlo::send::Request;
using varlo::send::Step;

// The commands of a plan, one after the other, or the refusal's message.
std::string outcome(const Checked<std::vector<PlannedCommand>>& planned)
{
    if (const Refusal* refusal = varlo::refusalOf(planned))
        return refusal->message;
    std::string commands;
    for (const PlannedCommand& command : std::get<std::vector<PlannedCommand>>(planned))
        commands += (commands.empty() ? "" : " ") + command.command;
    return commands;
}

std::string commandLineOutcome(const std::vector<std::string>& arguments)
{
    const Checked<Request> request = varlo::send::parseCommandLine(arguments);
    if (const Refusal* refusal = varlo::refusalOf(request))
        return refusal->message;
    const Request& parsed = std::get<Request>(request);
    const std::vector<Step> steps{*parsed.step};
    return outcome(varlo::send::planCommands(steps, parsed.settings, parsed.gap));
}

struct CommandLineRow {
    const char* name;
    std::vector<std::string> arguments;
    std::string outcome;
};

class CommandLine : public ::testing::TestWithParam<CommandLineRow> {};

TEST_P(CommandLine, PlansTheCommandsOrRefuses)
{
    EXPECT_EQ(commandLineOutcome(GetParam().arguments), GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, CommandLine,
    ::testing::Values(
        CommandLineRow{"OneShotDefaultsToSineAttenuatorOff", {"--dry-run", "1000"}, StartUpCommand},
        CommandLineRow{"WaveformAndAttenuator",
                       {"--port", "COM3", "12.5kHz", "square", "--attenuator", "on"},
                       "4D03000014"},
        CommandLineRow{"DutyFirstThenTheAdjustedFrequency",
                       {"--dry-run", "--duty", "60", "--attenuator", "on", "1kHz"},
                       "C300000078 8E30000058"},
        CommandLineRow{"OptionValueAfterEquals",
                       {"--port=/dev/ttyUSB0", "--duty=50", "1kHz"},
                       "2300000068 8E30000048"},
        CommandLineRow{"LinearSweepInclusive",
                       {"--dry-run", "--sweep", "1kHz", "2kHz", "--steps", "3", "triangle"},
                       "8E30000002 CD50000002 0D70000002"},
        CommandLineRow{"DownwardSweep",
                       {"--dry-run", "--sweep", "3Hz", "1Hz", "--steps", "3"},
                       "3000000008 2000000008 1000000008"},
        CommandLineRow{"LogSweep",
                       {"--dry-run", "--sweep", "10Hz", "1kHz", "--steps", "3", "--log"},
                       "A000000008 4600000008 " + StartUpCommand},
        CommandLineRow{"RepeatedSweep",
                       {"--dry-run", "--sweep", "1", "2", "--steps", "2", "--repeat", "2"},
                       "1000000008 2000000008 1000000008 2000000008"},
        CommandLineRow{"DwellShorterThanTheLine",
                       {"--dry-run", "--sweep", "1", "2", "--steps", "2", "--dwell", "10ms"},
                       "--dwell 10.0 ms is shorter than one command takes on the line at 9600 "
                       "baud (10.4 ms)"},
        CommandLineRow{"FasterLineTakesAShorterDwell",
                       {"--dry-run", "--settings", "115200,N,8,1", "--sweep", "1", "2", "--steps",
                        "2", "--dwell", "1ms"},
                       "1000000008 2000000008"},
        CommandLineRow{
            "PanelsSettingsForm", {"--settings", "9600 E 7 2", "--dry-run", "1"}, "1000000008"},
        CommandLineRow{"BadSettings",
                       {"--settings", "9600;N;8;1", "--dry-run", "1"},
                       "--settings takes baud, parity, data bits and stop bits such as 9600,N,8,1 "
                       "or \"9600 N 8 1\", not \"9600;N;8;1\""},
        CommandLineRow{"PortRequired", {"1kHz"}, "--port or --connect is required (or --dry-run)"},
        CommandLineRow{"PortOutsideTheTable",
                       {"--port", "COM17", "1kHz"},
                       "--port takes COM1 to COM16 or a device path such as /dev/ttyUSB0, not "
                       "\"COM17\""},
        CommandLineRow{"NothingToSend",
                       {"--dry-run"},
                       "nothing to send: give a FREQUENCY, a --sweep or a --script"},
        CommandLineRow{"TwoFrequencies",
                       {"--dry-run", "1kHz", "2kHz"},
                       "unexpected \"2kHz\" (one step takes one frequency)"},
        CommandLineRow{
            "UnitApartFromItsNumber", {"--dry-run", "12.5", "kHz", "square"}, "4D03000004"},
        CommandLineRow{"SweepWithUnitsApart",
                       {"--dry-run", "--sweep", "1", "kHz", "2", "KHZ", "--steps", "2"},
                       StartUpCommand + " 0D70000008"},
        CommandLineRow{"UnitApartAfterTheDuty",
                       {"--dry-run", "--duty", "60", "1", "kHz"},
                       "C300000068 8E30000048"},
        CommandLineRow{"MisspeltWaveform",
                       {"--dry-run", "12.5KHZ", "sqaure"},
                       "unknown waveform \"sqaure\" (sine, square or triangle)"},
        CommandLineRow{"SweepNamesItsOption",
                       {"--dry-run", "--sweep", "1", "200MHz", "--steps", "2"},
                       "--sweep: frequency \"200MHz\" is above 100 MHz"},
        CommandLineRow{"DwellNamesItsOption",
                       {"--dry-run", "--sweep", "1", "2", "--steps", "2", "--dwell", "5"},
                       "--dwell: not a time: \"5\" (a number followed by ms or s)"},
        CommandLineRow{"FrequencyAndSweep",
                       {"--dry-run", "1kHz", "--sweep", "1", "2"},
                       "one step takes one frequency or one --sweep"},
        CommandLineRow{"TwoWaveforms",
                       {"--dry-run", "1kHz", "sine", "square"},
                       "two waveforms: sine and square"},
        CommandLineRow{"SweepWithoutSteps",
                       {"--dry-run", "--sweep", "1", "2"},
                       "a sweep needs --steps N (2 or more)"},
        CommandLineRow{"OneStepIsNoSweep",
                       {"--dry-run", "--sweep", "1", "2", "--steps", "1"},
                       "--steps takes a whole number from 2 to 100000, not \"1\""},
        CommandLineRow{"StepsWithoutSweep",
                       {"--dry-run", "1", "--steps", "3"},
                       "--steps belongs to a sweep (--sweep START STOP)"},
        CommandLineRow{"UnknownOption", {"--dry-run", "1", "--loud"}, "unknown option --loud"},
        CommandLineRow{"MissingValue", {"--dry-run", "1", "--duty"}, "--duty needs a value"},
        CommandLineRow{
            "SweepAtTheEnd", {"--dry-run", "--sweep", "1"}, "--sweep needs START and STOP"},
        CommandLineRow{"FlagWithAValue", {"--dry-run=yes", "1"}, "--dry-run takes no value"},
        CommandLineRow{
            "ListTakesNothingElse", {"--list", "--port", "COM1"}, "--list takes nothing else"},
        CommandLineRow{"ScriptTakesNoStep",
                       {"--script", "x", "1kHz"},
                       "--script takes no frequency or sweep of its own, but \"1kHz\" was given"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLine, NamesThePortByNumberOrPath)
{
    using varlo::PortChoice;
    EXPECT_EQ(std::get<PortChoice>(varlo::parsePort("com16")), (PortChoice{16, {}}));
    EXPECT_EQ(std::get<PortChoice>(varlo::parsePort("/dev/serial/by-id/usb-x")),
              (PortChoice{0, "/dev/serial/by-id/usb-x"}));
    for (const char* bad : {"COM0", "COM03", "COM", "ttyUSB0", "COM1x"})
        EXPECT_NE(varlo::refusalOf(varlo::parsePort(bad)), nullptr) << bad;
}

// --connect's value may be left out: the word after it is a step's when it reads as one.
TEST(CommandLine, ConnectNamesTheServerOrLeavesItsDefault)
{
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"--connect", "1kHz"}, "127.0.0.1:5025 " + StartUpCommand},
        {{"--connect", "square", "1kHz"}, "127.0.0.1:5025 8E30000004"},
        {{"--connect", "5", "kHz"}, "127.0.0.1:5025 8831000008"},
        {{"--connect", "--quiet", "1kHz"}, "127.0.0.1:5025 " + StartUpCommand},
        {{"--connect=", "1kHz"}, "127.0.0.1:5025 " + StartUpCommand},
        {{"1kHz", "--connect"}, "127.0.0.1:5025 " + StartUpCommand},
        {{"--connect", "bench-pc:5026", "1kHz"}, "bench-pc:5026 " + StartUpCommand},
        {{"--connect", "192.168.1.20", "1kHz"}, "192.168.1.20:5025 " + StartUpCommand},
        {{"--connect", "bench", "--port", "COM3", "1kHz"},
         "--port and --connect exclude each other"},
        {{"--connect", "--settings", "19200,N,8,1", "1kHz"},
         "--settings is for --port; varlo-scpi sets its own line"},
        {{"--connect", "bench:x", "1kHz"},
         "--connect takes [HOST][:PORT] such as 127.0.0.1:5025, bench-pc or :5026, not "
         "\"bench:x\""},
    };
    for (const auto& [arguments, expected] : rows) {
        const Checked<Request> request = varlo::send::parseCommandLine(arguments);
        std::string result;
        if (const Refusal* refusal = varlo::refusalOf(request))
            result = refusal->message;
        else
            result = varlo::serverText(*std::get<Request>(request).server) + " " +
                     commandLineOutcome(arguments);
        EXPECT_EQ(result, expected) << arguments.front();
    }
}

// The refusals of a script, one line each.
std::string refusalLines(const std::vector<Refusal>& refusals)
{
    std::string lines;
    for (const Refusal& refusal : refusals)
        lines += (lines.empty() ? "" : "\n") + refusal.message;
    return lines;
}

struct ScriptRow {
    const char* name;
    const char* text;
    std::string outcome;
};

class Script : public ::testing::TestWithParam<ScriptRow> {};

TEST_P(Script, PlansEveryLineOrNamesEachBadOne)
{
    const auto steps = varlo::send::parseScript(GetParam().text, "bench.txt");
    if (const auto* refusals = std::get_if<std::vector<Refusal>>(&steps))
        EXPECT_EQ(refusalLines(*refusals), GetParam().outcome);
    else
        EXPECT_EQ(outcome(varlo::send::planCommands(std::get<std::vector<Step>>(steps), {}, 50ms)),
                  GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Script,
    ::testing::Values(
        ScriptRow{"EveryLineStandsAlone", "2kHz square --attenuator on --duty 60\n1kHz\n",
                  "C300000074 0D70000054 " + StartUpCommand},
        ScriptRow{"SweepWaitCommentsAndBlankLines",
                  "# bench sequence\n\n  sweep 1 2 --steps 2 --dwell 20ms  # up\nwait 1s\r\n"
                  "\t3Hz triangle\n",
                  "1000000008 2000000008 3000000002"},
        ScriptRow{"OnlyWaitsSendNothing", "wait 1s\n", "nothing to send"},
        ScriptRow{"UnitApartFromItsNumber", "1kHz\n\n2 kHz\n", StartUpCommand + " 0D70000008"},
        ScriptRow{"EveryBadLineIsNamed", "sqaure\n1kHz\n1GHz\nwait 5\n",
                  "bench.txt:1: unknown waveform \"sqaure\" (sine, square or triangle)\n"
                  "bench.txt:3: not a frequency: \"1GHz\" (a number with \".\" as the decimal "
                  "mark and Hz, kHz or MHz)\n"
                  "bench.txt:4: wait: not a time: \"5\" (a number followed by ms or s)"},
        ScriptRow{"WaitWithoutTime", "# c\nwait\n",
                  "bench.txt:2: wait takes one TIME, e.g. wait "
                  "500ms"},
        ScriptRow{"CommandLineOptionInAScript", "--port COM1 1kHz\n",
                  "bench.txt:1: unknown option --port"},
        ScriptRow{"SweepLineRefusal", "1kHz\nsweep 1 2\n",
                  "bench.txt:2: a sweep needs --steps N (2 or more)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Script, NamesTwentyBadLinesAndCountsTheRest)
{
    std::string text;
    for (int line = 0; line < 22; ++line)
        text += "1GHz\n";
    const auto refusals = std::get<std::vector<Refusal>>(varlo::send::parseScript(text, "b.txt"));
    ASSERT_EQ(refusals.size(), 21U);
    EXPECT_TRUE(refusals[19].message.starts_with("b.txt:20: not a frequency"))
        << refusals[19].message;
    EXPECT_EQ(refusals.back().message, "b.txt: 2 more bad lines");
}

TEST(Plan, StepsAreDueFromTheSweepsFirstStepAndPausesAddUp)
{
    const std::vector<Step> steps{
        varlo::send::OneShot{1000, {}},
        varlo::send::Wait{200ms},
        varlo::send::Sweep{1, 3, 3, false, 20ms, 2, {}},
        varlo::send::OneShot{5, {}},
    };
    const auto planned =
        std::get<std::vector<PlannedCommand>>(varlo::send::planCommands(steps, {}, 50ms));
    struct Timing {
        varlo::send::Duration wait;
        bool fromSweepStart;
        varlo::send::Duration due;
    };
    const std::vector<Timing> expected{
        {0ms, false, 0ms},   {250ms, false, 250ms}, {20ms, true, 270ms},  {40ms, true, 290ms},
        {60ms, true, 310ms}, {80ms, true, 330ms},   {100ms, true, 350ms}, {20ms, false, 370ms},
    };
    ASSERT_EQ(planned.size(), expected.size());
    for (std::size_t i = 0; i < planned.size(); ++i) {
        EXPECT_EQ(planned[i].wait, expected[i].wait) << i;
        EXPECT_EQ(planned[i].fromSweepStart, expected[i].fromSweepStart) << i;
        EXPECT_EQ(planned[i].due, expected[i].due) << i;
    }
}

TEST(Plan, NoCommandIsDueBeforeTheLineHasCarriedThePreviousOne)
{
    const std::vector<Step> steps{varlo::send::OneShot{1000, {}}, varlo::send::OneShot{20e6, {}},
                                  varlo::send::OneShot{5, {}}};
    const auto planned =
        std::get<std::vector<PlannedCommand>>(varlo::send::planCommands(steps, {}, 0ms));
    ASSERT_EQ(planned.size(), 3u);
    EXPECT_EQ(planned[1].wait, 10417us); // ten characters at 9600 baud, 8N1
    EXPECT_EQ(planned[2].wait, 11458us); // eleven
}

TEST(Plan, RefusesMoreCommandsThanOneRunTakes)
{
    const std::vector<Step> steps{varlo::send::Sweep{1, 2, 100'000, false, 20ms, 2, {}}};
    EXPECT_EQ(outcome(varlo::send::planCommands(steps, {}, 50ms)),
              "more than 100000 commands in one run");
}

TEST(CommandLine, HelpNamesEveryOptionOfTheTable)
{
    const std::string help = varlo::send::usageText();
    for (const varlo::send::OptionRow& row : varlo::send::OptionTable)
        EXPECT_NE(help.find(row.name), std::string::npos) << row.name;
}

// A script as the program reads it from a file, and what it makes of it: the commands, or the
// line it writes on standard error. The file is HEAD, then REPEATED as many times as given,
// then TAIL; a row with a path reads that path instead.
struct InputRow {
    const char* name;
    const char* path;
    std::string head;
    std::string repeated;
    std::size_t times;
    std::string tail;
    std::string outcome; // "{file}" stands for the file's name
};

// Rows show by name in test listings.
void PrintTo(const InputRow& row, std::ostream* out)
{
    *out << row.name;
}

class ScriptInput : public ::testing::TestWithParam<InputRow> {};

TEST_P(ScriptInput, IsBoundedAndShownSafely)
{
    const InputRow& row = GetParam();
    const std::string file =
        row.path ? row.path
                 : (std::filesystem::temp_directory_path() /
                    ("varlo-send-" + std::to_string(::getpid()) + "-" + row.name + ".txt"))
                       .string();
    if (!row.path) {
        std::ofstream out(file, std::ios::binary);
        out << row.head;
        for (std::size_t i = 0; i < row.times; ++i)
            out << row.repeated;
        out << row.tail;
    }
    const auto steps = varlo::send::readScriptFile(file);
    if (!row.path)
        std::filesystem::remove(file);
    std::vector<Refusal> refusals;
    std::string result;
    if (const auto* read = std::get_if<std::vector<Refusal>>(&steps)) {
        refusals = *read;
    } else {
        const auto planned =
            varlo::send::planCommands(std::get<std::vector<Step>>(steps), {}, 50ms);
        if (const Refusal* refusal = varlo::refusalOf(planned))
            refusals.push_back(*refusal);
        else
            result = outcome(planned);
    }
    for (const Refusal& refusal : refusals)
        result += varlo::send::errorLine(refusal.message);
    std::string expected = row.outcome;
    if (const auto at = expected.find("{file}"); at != std::string::npos)
        expected.replace(at, 6, file);
    EXPECT_EQ(result, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ScriptInput,
    ::testing::Values(
        InputRow{"ByteOrderMarkIsSkipped", nullptr,
                 "\xEF\xBB\xBF"
                 "1kHz\n",
                 "", 0, "", StartUpCommand},
        InputRow{"ControlBytesAreEscaped", nullptr, "1kHz\n", "", 0,
                 "Gr\xC3\xB6\xC3\x9F"
                 "e\x1B]0;x\x07\0\xC2\x9B\xFF\n"s,
                 "varlo-send: {file}:2: unknown waveform \"Gr\xC3\xB6\xC3\x9F"
                 "e\\x1b]0;x\\x07\\x00"
                 "\\xc2\\x9b\\xff\" (sine, square or triangle)\n"},
        InputRow{"EndlessLine", "/dev/zero", "", "", 0, "",
                 "varlo-send: /dev/zero:1: the line is longer than 4096 bytes\n"},
        InputRow{"LongerThanSixteenMebibytes", nullptr, "", "#" + std::string(4094, '-') + "\n",
                 4097, "", "varlo-send: {file}:4097: the script is longer than 16 MiB\n"},
        InputRow{"MoreCommandsThanOneRunTakes", nullptr, "", "1kHz\n", 100'001, "",
                 "varlo-send: {file}:100001: more than 100000 commands in one run\n"},
        InputRow{"WaitsOfMoreThanAYear", nullptr, "1kHz\n", "wait 86400s\n", 366, "2kHz\n",
                 "varlo-send: the run would take longer than a year\n"},
        InputRow{"Directory", "/tmp", "", "", 0, "",
                 "varlo-send: cannot read the script /tmp: not a readable file\n"},
        InputRow{"MissingFile", "/nonexistent/steps.txt", "", "", 0, "",
                 "varlo-send: cannot read the script /nonexistent/steps.txt: no such file\n"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
