// Lines a client sends, and what comes of them: the replies, the commands for the line and the
// errors read back. Each conversation starts as the program does; the line takes every
// command unless the row says it fails.

#include "protocol/command_encoding.h"
#include "protocol/scpi_messages.h"
#include "scpi/generator/generator_lock.h"
#include "scpi/generator/message_run.h"
#include "scpi/language/command_table.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

using namespace varlo;
using namespace varlo::scpi;

namespace {

struct Exchange {
    std::vector<std::string> replies;
    std::vector<std::string> commands;
};

// Runs lines as the generator's owner does, with no time passing on the line. Client 1 is
// a second client of the same generator; its line "(leaves)" ends that client's session.
class Conversation {
public:
    explicit Conversation(bool lineFails = false) : lineFails_(lineFails)
    {
        lock_.join(sessions_[0], "SOCKET 127.0.0.1:41000");
        lock_.join(sessions_[1], "WEB 127.0.0.1:42000");
    }

    void say(const std::string& line, Exchange& exchange, int client = 0)
    {
        Session& session = sessions_[client];
        if (line == "(leaves)") {
            lock_.leave(session);
            return;
        }
        MessageRun run(stepsForMessage(line));
        while (true) {
            const MessageRun::Need need = run.advance(session, sent_, lock_);
            if (const auto* write = std::get_if<MessageRun::Write>(&need)) {
                if (lineFails_) {
                    run.notWritten(session,
                                   {errors::HardwareMissing, "COM3 (/dev/ttyUSB0) is gone"});
                } else {
                    exchange.commands.push_back(write->command);
                    run.written(sent_);
                }
            } else if (std::holds_alternative<MessageRun::Drain>(need)) {
                run.drained(session);
            } else {
                if (const auto& reply = std::get<MessageRun::Finished>(need).reply)
                    exchange.replies.push_back(*reply);
                return;
            }
        }
    }

private:
    bool lineFails_;
    Session sessions_[2];
    GeneratorState sent_;
    GeneratorLock lock_;
};

std::string frequency(double hz, Waveform waveform = Waveform::Sine, bool attenuatorOn = false,
                      bool dutyAdjusted = false)
{
    return frequencyCommand(hz, attenuatorOn, dutyAdjusted, waveform);
}

const std::string StartUp = frequency(1000);

// The text n times, joined by ";".
std::string repeated(const std::string& text, int times)
{
    std::string all = text;
    for (int i = 1; i < times; ++i)
        all += ";" + text;
    return all;
}

struct ConversationRow {
    const char* name;
    std::vector<std::string> lines;
    std::vector<std::string> replies;
    std::vector<std::string> commands;
    bool lineFails = false;
};

void PrintTo(const ConversationRow& row, std::ostream* out)
{
    *out << row.name;
}

class ConversationTest : public ::testing::TestWithParam<ConversationRow> {};

TEST_P(ConversationTest, RepliesAndSends)
{
    const ConversationRow& row = GetParam();
    Conversation conversation(row.lineFails);
    Exchange exchange;
    for (const std::string& line : row.lines)
        conversation.say(line, exchange);
    EXPECT_EQ(exchange.replies, row.replies);
    EXPECT_EQ(exchange.commands, row.commands);
}

const std::string NoError = "0,\"No error\"";
const std::string Undefined = "-113,\"Undefined header\"";

const ConversationRow conversationRows[] = {
    // One line, one command: its settings go together, as Enter builds them
    {"OneLineOneCommand",
     {"FREQ 12500;FUNC SQU;OUTP:ATT 20", "APPL:TRI 5 kHz;:OUTP:ATT 0"},
     {},
     {frequency(12500, Waveform::Square, true), frequency(5000, Waveform::Triangle)}},
    {"SettingsAloneAlwaysSend", {"FREQ 1000", "FREQ 1000;FUNC SIN"}, {}, {StartUp, StartUp}},
    {"AQueryFirstSendsWhatTheLineChanged",
     {"FREQ 2000;FREQ?;FUNC SQU;FUNC?;FUNC?"},
     {"2000;SQU;SQU"},
     {frequency(2000), frequency(2000, Waveform::Square)}},
    {"AnyOtherCommandFirstSendsThem",
     {"FREQ 2000;*CLS;FUNC TRI;*ESE 0;OUTP:ATT 20;*WAI;:FREQ 3000"},
     {},
     {frequency(2000), frequency(2000, Waveform::Triangle),
      frequency(2000, Waveform::Triangle, true), frequency(3000, Waveform::Triangle, true)}},
    {"AnErrorKeepsTheSettingsAroundItFromTheGenerator",
     {"FREQ 2000;FREQ 200 MHz;FUNC SQU;FREQ?;FUNC?", "VOLT 1;FUNC TRI;*CLS;FUNC SQU"},
     {"1000;SIN"},
     {frequency(1000, Waveform::Square)}},
    {"DutyFirstWithTheShapeAndAttenuatorTheLineEndsWith",
     {"FUNC:SQU:DCYC 60;:FUNC SQU;:OUTP:ATT 20;:FREQ 5000"},
     {},
     {dutyCommand(60, true, Waveform::Square), frequency(5000, Waveform::Square, true, true)}},
    {"ResetTakesBackADutyBeforeIt",
     {"FUNC:SQU:DCYC 30;*RST;:FREQ 2000", "*RST;FUNC:SQU:DCYC 30"},
     {},
     {frequency(2000), dutyCommand(30, false, Waveform::Sine),
      frequency(1000, Waveform::Sine, false, true)}},
    {"SemicolonKeepsThePath",
     {"SOUR:FUNC:SQU:DCYC 40;DCYC?", "SOUR:FREQ 2000;FUNC?"},
     {"40", "SIN"},
     {dutyCommand(40, false, Waveform::Sine), frequency(1000, Waveform::Sine, false, true),
      frequency(2000, Waveform::Sine, false, true)}},
    {"DutyAloneLeavesOutTheFrequencyCommandUnlessOneIsNamed",
     {"FUNC SQU;:FUNC:SQU:DCYC:ALON 60;:FUNC:SQU:DCYC?;DCYC:ADJ?",
      "FUNC:SQU:DCYC:ALON 30;:FREQ 2000"},
     {"60;1"},
     {dutyCommand(60, false, Waveform::Square), dutyCommand(30, false, Waveform::Square),
      frequency(2000, Waveform::Square, false, true)}},
    {"DutyAdjustedBitAsTheLineGivesIt",
     {"FUNC:SQU:DCYC 60;DCYC:ADJ 0;:FUNC:SQU:DCYC?", "FUNC:SQU:DCYC:ADJ ON;ADJ?"},
     {"50", "1"},
     {dutyCommand(60, false, Waveform::Sine), frequency(1000),
      frequency(1000, Waveform::Sine, false, true)}},
    {"PathEndsWithTheLine", {"SYST:ERR:COUN?", "ERR?", "SYST:ERR?"}, {"0", Undefined}, {}},
    {"ColonGoesBackToTheRoot",
     {"FUNC:SQU:DCYC?;:FREQ?;:FUNC:SQU:DCYC?;FREQ?;:SYST:ERR?"},
     {"50;1000;50;" + Undefined},
     {}},
    {"CommonCommandsKeepThePath", {"SOUR:FREQ 1500;*CLS;FUNC?"}, {"SIN"}, {frequency(1500)}},
    {"QueriesJoinedInOrder", {"FREQ?;*TST?;FUNC?;OUTP?;SYST:VERS?"}, {"1000;0;SIN;1;1999.0"}, {}},
    {"UnknownQueryHasNoAnswer",
     {"FREQ?;VOLT?;FUNC?", "VOLT?", "SYST:ERR?;ERR?"},
     {"1000;SIN", Undefined + ";" + Undefined},
     {}},
    {"QueryOnlyHeaderAsSetting", {"*IDN;*RST?;SYST:ERR:COUN?"}, {"2"}, {}},

    // Numbers and words
    {"NumberForms",
     {"FREQ 1e3;FREQ?;FREQ 1.5E+3;FREQ?;FREQ 1 kHz;FREQ?;FREQ 2MHZ;FREQ?;FREQ .5;FREQ?;"
      "FREQ 1.001kHz;FREQ?"},
     {"1000;1500;1000;2000000;0.5;1001"},
     {StartUp, frequency(1500), StartUp, frequency(2e6), frequency(0.5), frequency(1001)}},
    {"Limits",
     {"FREQ MIN;FREQ? MAX;FREQ MAX;FREQ?;FREQ DEF;FREQ? MIN"},
     {"100000000;100000000;0.01"},
     {frequency(0.01), frequency(1e8), StartUp}},
    {"HundredthsAsThePanelTakesThem",
     {"FREQ 1.156;FREQ?;FREQ 0.05;FREQ?;FREQ 12.5;FREQ?"},
     {"1.15;0.05;12.5"},
     {frequency(1.15), frequency(0.05), frequency(12.5)}},
    {"FrequencyRange",
     {"FREQ 0.0099;FREQ 100000000.01;FREQ -5;FREQ 1e999;SYST:ERR:COUN?;:FREQ?"},
     {"4;1000"},
     {}},
    {"BadNumbers",
     {"FREQ 1 kV;FREQ ABC;FREQ \"1\";FREQ 1.2.3;FREQ;FREQ 1,2",
      "SYST:ERR?;ERR?;ERR?;ERR?;ERR?;ERR?;ERR?"},
     {"-131,\"Invalid suffix\";-104,\"Data type error\";-104,\"Data type error\";"
      "-102,\"Syntax error\";-109,\"Missing parameter\";-108,\"Parameter not allowed\";" +
      NoError},
     {}},

    // Settings
    {"Shapes",
     {"FUNC SQU;FUNC?;FUNC:SHAP TRIangle;:FUNC?;FUNC SIN;FUNC?;FUNC RAMP;SYST:ERR?"},
     {"SQU;TRI;SIN;-224,\"Illegal parameter value\""},
     {frequency(1000, Waveform::Square), frequency(1000, Waveform::Triangle), StartUp}},
    {"DutyThenFrequencyWithTheBit",
     {"FUNC SQU;FUNC:SQU:DCYC 60.4;DCYC?", "FUNC:SQU:DCYC 79.5;DCYC?;DCYC? MIN"},
     {"60", "80;20"},
     {dutyCommand(60, false, Waveform::Square), frequency(1000, Waveform::Square, false, true),
      dutyCommand(80, false, Waveform::Square), frequency(1000, Waveform::Square, false, true)}},
    {"DeadlineInSecondsUpToAMinute",
     {"SYST:DEAD 0.8;DEAD 800 MS;DEAD 60;DEAD 61;DEAD -1;DEAD 1 kHz;DEAD?;:SYST:ERR:COUN?"},
     {"4"},
     {}},
    {"DutyRange", {"FUNC:SQU:DCYC 19.9;DCYC 80.1;DCYC?;:SYST:ERR:COUN?"}, {"50;2"}, {}},
    {"Attenuator",
     {"OUTP:ATT 20 DB;ATT?;:OUTP1:ATT 0;ATT?;ATT 10;:SYST:ERR?"},
     {"20;0;-224,\"Illegal parameter value\""},
     {frequency(1000, Waveform::Sine, true), StartUp}},
    {"AttenuatorKeptWithTheFrequency",
     {"OUTP:ATT 20", "FREQ 2000"},
     {},
     {frequency(1000, Waveform::Sine, true), frequency(2000, Waveform::Sine, true)}},
    {"OutputAlwaysOn",
     {"OUTP ON;:OUTP:STAT 1;:OUTP?;OUTP OFF;OUTP 0;OUTP 2;SYST:ERR:COUN?", "SYST:ERR?;ERR?;ERR?"},
     {"1;3", "-221,\"Settings conflict\";-221,\"Settings conflict\";"
             "-224,\"Illegal parameter value\""},
     {}},
    {"ApplyShapeAndFrequency",
     {"APPL:SQU 12.5 kHz;:APPL?", "APPL:TRI;:APPL?"},
     {"\"SQU 12500\"", "\"TRI 12500\""},
     {frequency(12500, Waveform::Square), frequency(12500, Waveform::Triangle)}},
    {"ApplyTakesNoAmplitude",
     {"APPL:SIN 1000,0.5;:APPL:SIN 1000,0.5,0;:SYST:ERR:COUN?"},
     {"2"},
     {}},
    {"ResetSendsTheStartUpState",
     {"OUTP:ATT 20;:FUNC:SQU:DCYC 30;:APPL:SQU 5000", "*RST;APPL?;FUNC:SQU:DCYC?;:OUTP:ATT?"},
     {"\"SIN 1000\";50;0"},
     {dutyCommand(30, true, Waveform::Square), frequency(5000, Waveform::Square, true, true),
      StartUp}},

    // An oscilloscope's Bode plot, in the words of the generators it drives
    {"ScopeSetUpRelativeToC1",
     {"C1:OUTP LOAD,50;BSWV WVTP,SINE,PHSE,0,FRQ,50000,AMP,2.1,OFST,0;OUTP ON", "SYST:ERR:COUN?"},
     {"0"},
     {frequency(50000)}},
    {"ScopeWaveTypes",
     {"C1:BSWV WVTP,SQUARE", "C1:BSWV WVTP,TRIANGLE", "C1:BSWV WVTP,SINE",
      "C1:BSWV WVTP,RAMP;:SYST:ERR?"},
     {"-224,\"Illegal parameter value\""},
     {frequency(1000, Waveform::Square), frequency(1000, Waveform::Triangle), StartUp}},
    {"ScopeStepCutToTheHundredthAsThePanelsEncoding",
     {"C1:BSWV FRQ,10.8890427;BSWV?"},
     {"C1:BSWV WVTP,SINE,FRQ,10.88HZ"},
     {frequency(10.88)}},
    {"ScopeReadBackWhatTheGeneratorHolds",
     {"C1:BSWV?", "APPL:SQU 12.5 kHz;:C1:BSWV?"},
     {"C1:BSWV WVTP,SINE,FRQ,1000HZ", "C1:BSWV WVTP,SQUARE,FRQ,12500HZ"},
     {frequency(12500, Waveform::Square)}},
    {"ScopeFrequencyLimitsAsFreq",
     {"C1:BSWV FRQ,0.0099;:SYST:ERR?", "C1:BSWV FRQ,100000000.01;:SYST:ERR?", "C1:BSWV FRQ,MAX"},
     {"-222,\"Data out of range\"", "-222,\"Data out of range\""},
     {frequency(1e8)}},
    {"ScopeWordsOnlySendNothing",
     {"C1:OUTP OFF", "C1:OUTP ON,LOAD,HZ", "C1:BSWV AMP,2.1V,OFST,0,PHSE,90", "SYST:ERR:COUN?"},
     {"0"},
     {}},
    {"ScopeWordsJoinTheSettingsAround",
     {"C1:BSWV FRQ,2000;OUTP ON;BSWV WVTP,SQUARE"},
     {},
     {frequency(2000, Waveform::Square)}},
    {"ScopeValuesRefused",
     {"C1:BSWV FRQ", "C1:BSWV HLEV,1", "C1:OUTP LOAD", "C1:BSWV FRQ,2000,AMP,1 kHz",
      "SYST:ERR?;ERR?;ERR?;ERR?"},
     {"-109,\"Missing parameter\";-224,\"Illegal parameter value\";-109,\"Missing "
      "parameter\";-131,\"Invalid suffix\""},
     {}},
    {"ScopeSecondChannelRefusedAlone",
     {"C2:BSWV FRQ,2000", "C2:BSWV?", "C2:OUTP ON;BSWV FRQ,3000", "SYST:ERR?;ERR?;ERR?;ERR?;ERR?"},
     {"-114,\"Header suffix out of range\";-114,\"Header suffix out of range\";"
      "-114,\"Header suffix out of range\";-114,\"Header suffix out of range\";" +
      NoError},
     {}},
    {"ScopeIdentificationClaimsNoRealModel", {"IDN-SGLT-PRI?"}, {"IDN-SGLT-PRI SDG0000X"}, {}},

    // Errors
    {"ErrorsReadOldestFirst",
     {"FREQ 0;FUNC SAW", "SYST:ERR:COUN?;:SYST:ERR?;:SYST:ERR:NEXT?;:SYST:ERR?"},
     {"2;-222,\"Data out of range\";-224,\"Illegal parameter value\";" + NoError},
     {}},
    {"QueueOverflowTakesTheLastPlace",
     {repeated("A", 17), "SYST:ERR:COUN?", "SYST:" + repeated("ERR?", 17)},
     {"16", repeated(Undefined, 15) + ";-350,\"Queue overflow\";" + NoError},
     {}},
    {"FailedWriteKeepsTheOldValue",
     {"FREQ 2000;FREQ?;:SYST:ERR?;ERR?"},
     {"1000;-241,\"Hardware missing;COM3 (/dev/ttyUSB0) is gone\";" + NoError},
     {},
     true},
    {"FailedDutyDropsItsFrequencyCommand",
     {"FUNC:SQU:DCYC 60;DCYC?;:SYST:ERR:COUN?"},
     {"50;1"},
     {},
     true},
    {"OperationNotCompleteAfterADroppedSetting",
     {"FREQ 2000;*OPC?;FREQ?", "*OPC?", "FREQ 3000;*OPC;*ESR?", "*OPC;*ESR?"},
     {"1000", "1", "16", "1"},
     {},
     true},
    {"ErrorsReadOrClearedAcknowledgeADroppedSetting",
     {"FREQ 2000;SYST:ERR?;*OPC?", "FREQ 2000;*CLS;*OPC?"},
     {"-241,\"Hardware missing;COM3 (/dev/ttyUSB0) is gone\";1", "1"},
     {},
     true},
    {"Junk",
     {std::string("FREQ\0 1", 7), "FREQ \xC3\xA9", "\xFF\xFE", "FREQ 1000;\x01;FUNC SQU",
      "FREQ \"unclosed;FUNC SQU", "SYST:ERR:COUN?"},
     {"5"},
     {}},

    // Status
    {"EventStatus",
     {"*ESE 36;*ESE?;*SRE 32;*SRE?;*STB?", "VOLT 1", "*STB?;*ESR?;*ESR?;*STB?"},
     {"36;32;0", "100;32;0;4"},
     {}},
    {"ClearStatus", {"VOLT 1", "*CLS;*STB?;SYST:ERR:COUN?;*ESR?"}, {"0;0;0"}, {}},
    {"OperationComplete",
     {"FREQ 2000;*OPC;*ESR?;*OPC?;*WAI;FREQ?"},
     {"1;1;2000"},
     {frequency(2000)}},
    {"RegisterRange", {"*ESE 256;*SRE -1;*ESE?;SYST:ERR:COUN?"}, {"0;2"}, {}},
};

INSTANTIATE_TEST_SUITE_P(Lines, ConversationTest, ::testing::ValuesIn(conversationRows),
                         [](const auto& info) { return std::string(info.param.name); });

// What the panel and varlo-send say for each of their commands has the server send that very
// command, whatever the generator held before.
TEST(FrontEndMessages, GiveBackTheFrontEndsOwnCommands)
{
    const std::pair<const char*, std::vector<std::string>> rows[] = {
        {"ADutyStepThenAStepWithout",
         {dutyCommand(60, true, Waveform::Square), frequency(2000, Waveform::Square, true, true),
          frequency(700, Waveform::Triangle)}},
        {"APanelDutyPressThenItsFrequency",
         {dutyCommand(51, false, Waveform::Triangle),
          frequency(1000, Waveform::Triangle, false, true),
          frequency(1000, Waveform::Triangle, false, true)}},
        {"TheBitWithoutADutyCommand", {frequency(5000, Waveform::Sine, false, true)}},
        {"ElevenCharacters", {frequency(100'000'000, Waveform::Sine, true), StartUp}},
    };
    for (const auto& [name, commands] : rows) {
        Conversation conversation;
        Exchange exchange;
        for (const std::string& command : commands)
            conversation.say(settingsMessage(command).value(), exchange);
        EXPECT_EQ(exchange.commands, commands) << name;
    }
}

// Two clients of one generator: which one sends each line, in the order the lines run.
struct LockRow {
    const char* name;
    std::vector<std::pair<int, std::string>> lines;
    std::vector<std::string> replies;
    std::vector<std::string> commands;
};

void PrintTo(const LockRow& row, std::ostream* out)
{
    *out << row.name;
}

class LockTest : public ::testing::TestWithParam<LockRow> {};

TEST_P(LockTest, OneClientAloneChangesTheGenerator)
{
    Conversation conversation;
    Exchange exchange;
    for (const auto& [client, line] : GetParam().lines)
        conversation.say(line, exchange, client);
    EXPECT_EQ(exchange.replies, GetParam().replies);
    EXPECT_EQ(exchange.commands, GetParam().commands);
}

const std::string Socket = "SOCKET 127.0.0.1:41000";

const LockRow lockRows[] = {
    {"GrantedToOneClientAtATime",
     {{0, "SYST:LOCK:REQ?"}, {0, "SYST:LOCK:REQ?"}, {1, "SYST:LOCK:REQ?;OWN?"}},
     {"1", "1", "0;" + Socket},
     {}},
    {"OthersSettingsRefusedNamingTheHolderQueriesAnswered",
     {{0, "SYST:LOCK:REQ?"}, {1, "FREQ 2000;FUNC SQU;FREQ?;:SYST:ERR?;ERR?;*OPC?"}},
     {"1", "1000;-203,\"Command protected;locked by " + Socket + "\";" + NoError + ";1"},
     {}},
    {"HoldersOwnSettingsGo", {{0, "SYST:LOCK:REQ?;:FREQ 2000"}}, {"1"}, {frequency(2000)}},
    {"ReleasedForTheOthers",
     {{0, "SYST:LOCK:REQ?;REL;OWN?"}, {1, "FREQ 3000"}},
     {"1;NONE"},
     {frequency(3000)}},
    {"ReleasingALockNotHeldIsAnExecutionError",
     {{1, "SYST:LOCK:REL;:SYST:ERR?"}},
     {"-200,\"Execution error;the lock is not held by this client\""},
     {}},
    {"FreedWhenTheHolderLeavesAndNotTakenByItsLaterLine",
     {{0, "SYST:LOCK:REQ?"}, {0, "(leaves)"}, {0, "SYST:LOCK:REQ?"}, {1, "SYST:LOCK:OWN?"}},
     {"1", "0", "NONE"},
     {}},
};

INSTANTIATE_TEST_SUITE_P(Lock, LockTest, ::testing::ValuesIn(lockRows),
                         [](const auto& info) { return std::string(info.param.name); });

// What a front end that refuses a line changing settings before it runs asks.
TEST(LockedLines, WhetherALineChangesSettings)
{
    const std::pair<const char*, bool> rows[] = {
        {"FREQ?;*OPC?", false},
        {"*RST", true},
        {"SYST:LOCK:REQ?;:FUNC SQU", true},
        {"FREQ 1 GHz", false},
    };
    for (const auto& [line, changes] : rows)
        EXPECT_EQ(MessageRun(stepsForMessage(line)).changesSettings(), changes) << line;
}

struct EntryRow {
    const char* name;
    Error error;
    std::string detail;
    std::string entry;
};

class ErrorEntryTest : public ::testing::TestWithParam<EntryRow> {};

TEST_P(ErrorEntryTest, ReadsAsSystemErrorAnswersIt)
{
    EXPECT_EQ(errorEntry({GetParam().error, GetParam().detail}), GetParam().entry);
}

const std::string LongPath = "/dev/serial/by-id/" + std::string(300, 'x');

const EntryRow entryRows[] = {
    {"StandardTextAlone", errors::OutOfRange, {}, "-222,\"Data out of range\""},
    {"DeviceGone", errors::HardwareMissing, "COM3 (/dev/ttyUSB0) is gone",
     "-241,\"Hardware missing;COM3 (/dev/ttyUSB0) is gone\""},
    {"LineStalled", errors::HardwareError, "/dev/ttyUSB0 has taken nothing for 10 s",
     "-240,\"Hardware error;/dev/ttyUSB0 has taken nothing for 10 s\""},
    {"QuoteInTheCauseDoubled", errors::HardwareError, "COM3 (/dev/a\"b): busy",
     "-240,\"Hardware error;COM3 (/dev/a\"\"b): busy\""},
    {"CutToTheLongestText", errors::HardwareMissing, LongPath + " is gone",
     "-241,\"" + ("Hardware missing;" + LongPath).substr(0, 255) + "\""},
};

INSTANTIATE_TEST_SUITE_P(Errors, ErrorEntryTest, ::testing::ValuesIn(entryRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
