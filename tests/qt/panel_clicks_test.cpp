// The panel worked with the mouse and keys: where clicks land, what the keypad shows, which
// settings turn red, and what goes down the line on Enter.

#include "tests/qt/panel_fixture.h"
#include "tests/start_up_command.h"

#include <QLabel>
#include <QMouseEvent>

#include <cstring>
#include <set>

namespace {

using panel_test::showsButtonFace;
using panel_test::showsPendingMark;
using panel_test::StartedPanel;

// Centre of each control's rectangle on the panel, in twips of the client area.
struct Target {
    const char* name;
    int x;
    int y;
    int width;
    int height;
};

// Rows print as their names in test listings.
void PrintTo(const Target& row, std::ostream* out)
{
    *out << row.name;
}

// clang-format off
const Target Targets[] = {
    {"FreqValue", 600, 480, 5895, 1695},
    {"Num7", 600, 2640, 1095, 495}, {"Num8", 2040, 2640, 1095, 495}, {"Num9", 3480, 2640, 1095, 495},
    {"Num4", 600, 3480, 1095, 495}, {"Num5", 2040, 3480, 1095, 495}, {"Num6", 3480, 3480, 1095, 495},
    {"Num1", 600, 4320, 1095, 495}, {"Num2", 2040, 4320, 1095, 495}, {"Num3", 3480, 4320, 1095, 495},
    {"Num0", 600, 5160, 1095, 495}, {"NumPoint", 2040, 5160, 1095, 495},
    {"Clear", 3480, 5160, 1095, 495}, {"Enter", 4800, 5160, 1695, 495},
    {"DutyScroll", 4800, 4680, 3255, 375},
    {"DutyLabel", 4800, 4320, 1455, 255}, {"DutyUnitLabel", 7320, 4320, 255, 255},
    {"DutyValueLabel", 6480, 4320, 255, 255},
};
// clang-format on

class ClickLandsTest : public ::testing::TestWithParam<Target> {};

TEST_P(ClickLandsTest, CentreOfTheRectangleHitsTheControl)
{
    StartedPanel panel;
    const Target& target = GetParam();
    QWidget* client = panel.window.centralWidget();
    const QPoint centre((target.x + target.width / 2) / 15, (target.y + target.height / 2) / 15);
    EXPECT_EQ(client->childAt(centre), panel.control(target.name));
}

INSTANTIATE_TEST_SUITE_P(Panel, ClickLandsTest, ::testing::ValuesIn(Targets),
                         [](const auto& info) { return std::string(info.param.name); });

// Option buttons are clicked at their indicator; each lies inside the button's rectangle.
class OptionClickTest : public ::testing::TestWithParam<const char*> {};

TEST_P(OptionClickTest, IndicatorClickSelectsTheOption)
{
    StartedPanel panel;
    auto* option = panel.control<QRadioButton>(GetParam());
    QWidget* client = panel.window.centralWidget();
    const QPoint indicator = option->mapTo(client, panel_test::indicatorCentre(option));
    ASSERT_EQ(client->childAt(indicator), option);
    panel.click(GetParam());
    EXPECT_TRUE(option->isChecked());
}

INSTANTIATE_TEST_SUITE_P(Panel, OptionClickTest,
                         ::testing::Values("WaveSin", "WaveSqu", "WaveTri", "UnitHz", "UnitKHz",
                                           "UnitMHz", "DBSOn", "DBSOff"));

struct KeyedDisplay {
    const char* name;
    const char* keys; // C Clear, E Enter, . point, digits
    const char* shows;
};

void PrintTo(const KeyedDisplay& row, std::ostream* out)
{
    *out << row.name;
}

const KeyedDisplay KeyedDisplays[] = {
    {"StartThenOneTwoPointFive", "12.5", "12.5"},
    {"StartThenFiveStartsANewEntry", "5", "5"},
    {"StartThenPointStartsWithZeroPoint", ".3", "0.3"},
    {"StartThenFiveOne", "51", "51"},
    {"SixthDecimalShowsTheRoundedSum", "C1.23456", "1.23456"},
    {"EighthKeyStartsANewEntry", "C1.234567", "7"},
    {"EighthDigitStartsANewEntry", "C12345678", "8"},
    {"LeadingZeroStays", "C051", "051"},
    {"ZeroThenFourKeepsTheZero", "C04", "04"},
    {"ZeroThenFiveShowsTheValue", "C05", "5"},
    {"FractionFiveShowsLeadingZero", "C.5", "0.5"},
    {"FractionFourShowsKeyedText", "C.4", ".4"},
    {"HundredthsSevenShowsRounded", "C.07", "0.07"},
    {"SecondPointIsIgnored", "C1..5", "1.5"},
    {"ClearEmptiesTheDisplay", "C", ""},
    {"DigitAfterEnterStartsANewEntry", "C12.5E3", "3"},
    {"PointAfterEnterOfAPointEntryStartsWithZeroPoint", "C12.5E.3", "0.3"},
    {"PointAfterEnterOfAWholeEntryStartsWithZeroPoint", "C125E.3", "0.3"},
};

class KeypadDisplayTest : public ::testing::TestWithParam<KeyedDisplay> {};

TEST_P(KeypadDisplayTest, KeysShowTheirEntry)
{
    StartedPanel panel;
    panel.keys(GetParam().keys);
    EXPECT_EQ(panel.display(), std::string(GetParam().shows));
}

INSTANTIATE_TEST_SUITE_P(Panel, KeypadDisplayTest, ::testing::ValuesIn(KeyedDisplays),
                         [](const auto& info) { return std::string(info.param.name); });

struct SentCommand {
    const char* name;
    std::vector<std::string> clicks;
    std::string command;
};

void PrintTo(const SentCommand& row, std::ostream* out)
{
    *out << row.name;
}

const SentCommand SentCommands[] = {
    {"StartupDefaults", {"Enter"}, StartUpCommand},
    {"KeyedKilohertzSquare",
     {"Clear", "Num1", "Num2", "NumPoint", "Num5", "UnitKHz", "WaveSqu", "Enter"},
     "4D03000004"},
    {"KilohertzOnTheStartupNumber", {"UnitKHz", "Enter"}, "0424F00008"},
    {"OneAndAHalfHertzTriangle",
     {"Clear", "Num1", "NumPoint", "Num5", "WaveTri", "Enter"},
     "1000002302"},
    {"MegahertzWithAttenuator", {"Clear", "Num1", "UnitMHz", "DBSOn", "Enter"}, "0424F00018"},
    {"AttenuatorOnThenOffIsOff", {"DBSOn", "DBSOff", "Enter"}, StartUpCommand},
    {"HundredMegahertzIsAllowed",
     {"Clear", "Num1", "Num0", "Num0", "UnitMHz", "Enter"},
     "001E5F50008"},
    {"DutyStepSendsTheDutyCommand", {"DutyArrowRight", "Enter"}, "3300000068"},
    {"DutyTroughStepsByTen", {"DutyTroughRight", "Enter"}, "C300000068"},
    {"DutyWithAttenuatorOnAndSquare",
     {"DBSOn", "WaveSqu", "DutyArrowRight", "Enter"},
     "3300000074"},
};

class SentCommandTest : public ::testing::TestWithParam<SentCommand> {};

TEST_P(SentCommandTest, EnterWritesTheCommand)
{
    StartedPanel panel;
    panel.clickAll(GetParam().clicks);
    const std::string expected = GetParam().command;
    EXPECT_EQ(panel.sent(expected.size() + 1), expected);
}

INSTANTIATE_TEST_SUITE_P(Panel, SentCommandTest, ::testing::ValuesIn(SentCommands),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PanelEnter, SquareTurnsRedAndBackWhenSent)
{
    StartedPanel panel;
    panel.keys("C12.5");
    panel.clickAll({"UnitKHz", "WaveSqu"});
    EXPECT_TRUE(showsPendingMark(panel.control("WaveSqu")));
    panel.click("Enter");
    EXPECT_EQ(panel.sent(10), "4D03000004");
    EXPECT_TRUE(showsButtonFace(panel.control("WaveSqu")));
}

TEST(PanelEnter, DutyStepThenTwoEntersSendDutyThenFrequencyWithDutyMode)
{
    StartedPanel panel;
    panel.click("DutyArrowRight");
    EXPECT_EQ(panel.control<QLabel>("DutyValueLabel")->text().toStdString(), "51");
    EXPECT_TRUE(showsPendingMark(panel.control("DutyValueLabel")));
    panel.click("Enter");
    EXPECT_EQ(panel.sent(10), "3300000068");
    EXPECT_TRUE(showsButtonFace(panel.control("DutyValueLabel")));
    panel.click("Enter");
    EXPECT_EQ(panel.sent(10), "8E30000048");
}

TEST(PanelEnter, BothPendingSendDutyFirstThenFrequency)
{
    StartedPanel panel;
    panel.clickAll({"WaveTri", "DutyArrowRight", "Enter"});
    EXPECT_EQ(panel.sent(10), "3300000062");
    EXPECT_TRUE(showsPendingMark(panel.control("WaveTri")));
    panel.click("Enter");
    EXPECT_EQ(panel.sent(10), "8E30000042");
    EXPECT_TRUE(showsButtonFace(panel.control("WaveTri")));
}

TEST(PanelEnter, TypedTextChangesOnlyTheValueSent)
{
    StartedPanel panel;
    panel.keys("C12");
    panel.typeIntoDisplay(QStringLiteral("5kHz"));
    panel.click("Enter");
    EXPECT_EQ(panel.sent(10), "5000000008");

    StartedPanel again;
    again.keys("C12");
    again.typeIntoDisplay(QStringLiteral("5kHz"));
    again.keys("3");
    EXPECT_EQ(again.display(), "123");
    again.click("Enter");
    EXPECT_EQ(again.sent(10), "B700000008");
}

// A key after the user typed the very text the key then shows: the box's text stays the
// same, yet Enter must send the value of that text, not the key's arithmetic on the typed one.
struct KeyOverTyped {
    const char* name;
    const char* keys; // keyed before typing
    const char* typed;
    const char* key; // keyed after typing
    const char* shows;
    const char* command;
};

void PrintTo(const KeyOverTyped& row, std::ostream* out)
{
    *out << row.name;
}

const KeyOverTyped KeysOverTyped[] = {
    {"DigitTwoAfterTypedTwelve", "C1", "12", "2", "12", "C000000008"},
    {"DigitZeroAfterTypedForty", "C4", "40", "0", "40", "8200000008"},
    {"FractionDigitAfterTypedOnePointTwo", "C1.", "1.2", "2", "1.2", "1000004108"},
};

class KeyOverTypedTest : public ::testing::TestWithParam<KeyOverTyped> {};

TEST_P(KeyOverTypedTest, EnterSendsWhatTheDisplayShows)
{
    StartedPanel panel;
    panel.keys(GetParam().keys);
    panel.typeIntoDisplay(QString::fromLatin1(GetParam().typed));
    panel.keys(GetParam().key);
    EXPECT_EQ(panel.display(), GetParam().shows);
    panel.click("Enter");
    EXPECT_EQ(panel.sent(std::strlen(GetParam().command)), GetParam().command);
}

INSTANTIATE_TEST_SUITE_P(Panel, KeyOverTypedTest, ::testing::ValuesIn(KeysOverTyped),
                         [](const auto& info) { return std::string(info.param.name); });

struct TooLarge {
    const char* name;
    std::vector<std::string> clicks;
    const char* typed; // typed into the display before the clicks; empty for none
};

void PrintTo(const TooLarge& row, std::ostream* out)
{
    *out << row.name;
}

const TooLarge TooLargeCases[] = {
    {"TypedHertzAboveTheLimit", {"Enter"}, "100000001"},
    {"KeyedMegahertzAboveTheLimit", {"Clear", "Num1", "Num0", "Num1", "UnitMHz", "Enter"}, ""},
    {"TypedFractionAboveTheLimit", {"UnitMHz", "Enter"}, "100.00001"},
};

class TooLargeTest : public ::testing::TestWithParam<TooLarge> {};

TEST_P(TooLargeTest, RefusedWithABoxAndTheEnd)
{
    StartedPanel panel;
    if (*GetParam().typed != '\0')
        panel.typeIntoDisplay(QString::fromLatin1(GetParam().typed));
    panel.clickAll(GetParam().clicks);
    panel.expectRefusedAsTooLarge();
}

INSTANTIATE_TEST_SUITE_P(Panel, TooLargeTest, ::testing::ValuesIn(TooLargeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Which clicks leave which controls painted red: the wiring of each control to the mark rule.
struct Marks {
    const char* name;
    std::vector<std::string> clicks;
    std::set<std::string> red;
};

void PrintTo(const Marks& row, std::ostream* out)
{
    *out << row.name;
}

const Marks MarkCases[] = {
    {"NothingAtStart", {}, {}},
    {"SquareMarksSquare", {"WaveSqu"}, {"WaveSqu"}},
    {"SelectedSineClickedAgainMarksSine", {"WaveSin"}, {"WaveSin"}},
    {"OnThenOffMarksBoth", {"DBSOn", "DBSOff"}, {"DBSOn", "DBSOff"}},
    {"UnitsMarkNothing", {"UnitKHz", "UnitMHz"}, {}},
    {"KeypadMarksNothing", {"Clear", "Num1", "NumPoint", "Num7", "Num0"}, {}},
    {"DutyStepMarksItsLabel", {"DutyArrowRight"}, {"DutyValueLabel"}},
    {"FrequencyCommandClearsEveryOptionMark",
     {"WaveSqu", "WaveSin", "DBSOn", "DBSOff", "Enter"},
     {}},
    {"DutyCommandKeepsOptionMarks",
     {"WaveSqu", "DBSOn", "DutyArrowRight", "Enter"},
     {"WaveSqu", "DBSOn"}},
};

const char* const Markable[] = {"WaveSin", "WaveSqu",        "WaveTri", "DBSOn",
                                "DBSOff",  "DutyValueLabel", "UnitHz",  "UnitKHz",
                                "UnitMHz", "FreqValue",      "Num1",    "Enter"};

class PendingMarkTest : public ::testing::TestWithParam<Marks> {};

TEST_P(PendingMarkTest, ClicksLeaveTheseControlsRed)
{
    StartedPanel panel;
    panel.clickAll(GetParam().clicks);
    for (const char* name : Markable) {
        const bool expected = GetParam().red.count(name) > 0;
        EXPECT_EQ(showsPendingMark(panel.control(name)), expected) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Panel, PendingMarkTest, ::testing::ValuesIn(MarkCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Which inputs leave a frequency or duty command pending, after an Enter has sent everything.
struct Pending {
    const char* name;
    std::vector<std::string> clicks;
    bool settingsChanged;
    bool dutyChanged;
};

void PrintTo(const Pending& row, std::ostream* out)
{
    *out << row.name;
}

const Pending PendingCases[] = {
    {"ZeroKeyLeavesNothingPending", {"Num0", "Num0"}, false, false},
    {"DigitKeyMakesTheFrequencyPending", {"Num1"}, true, false},
    {"PointKeyMakesTheFrequencyPending", {"NumPoint"}, true, false},
    {"ClearLeavesNothingPending", {"Clear"}, false, false},
    {"UnitMakesTheFrequencyPending", {"UnitKHz"}, true, false},
    {"WaveformMakesTheFrequencyPending", {"WaveTri"}, true, false},
    {"AttenuatorMakesTheFrequencyPending", {"DBSOn"}, true, false},
    {"DutyStepMakesTheDutyPending", {"DutyArrowRight"}, false, true},
};

class PendingFlagTest : public ::testing::TestWithParam<Pending> {};

TEST_P(PendingFlagTest, InputSetsItsPendingFlag)
{
    StartedPanel panel;
    panel.click("Enter");
    ASSERT_EQ(panel.sent(10), StartUpCommand);
    panel.clickAll(GetParam().clicks);
    EXPECT_EQ(panel.window.panelState().SettingsChanged, GetParam().settingsChanged);
    EXPECT_EQ(panel.window.panelState().DutyChanged, GetParam().dutyChanged);
}

INSTANTIATE_TEST_SUITE_P(Panel, PendingFlagTest, ::testing::ValuesIn(PendingCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PanelTyping, TypingLeavesNothingPending)
{
    StartedPanel panel;
    panel.click("Enter");
    ASSERT_EQ(panel.sent(10), StartUpCommand);
    panel.typeIntoDisplay(QStringLiteral("2000"));
    EXPECT_FALSE(panel.window.panelState().SettingsChanged);
    EXPECT_DOUBLE_EQ(panel.window.panelState().EntryValue, 2000);
}

// Arrow keys move the selection from the selected option to its neighbour in the same group,
// and that is a click.
struct ArrowStep {
    const char* name;
    const char* from;
    Qt::Key key;
    const char* selects;
    const char* group;
};

void PrintTo(const ArrowStep& row, std::ostream* out)
{
    *out << row.name;
}

const ArrowStep ArrowSteps[] = {
    {"SineRightSelectsSquare", "WaveSin", Qt::Key_Right, "WaveSqu", "WaveForm"},
    {"HzDownSelectsKHz", "UnitHz", Qt::Key_Down, "UnitKHz", "Frame1"},
    {"OffLeftSelectsOn", "DBSOff", Qt::Key_Left, "DBSOn", "DBS"},
};

class ArrowKeyTest : public ::testing::TestWithParam<ArrowStep> {};

TEST_P(ArrowKeyTest, ArrowSelectsTheNeighbourInTheSameGroup)
{
    StartedPanel panel;
    panel.control(GetParam().from)->setFocus();
    QTest::keyClick(panel.control(GetParam().from), GetParam().key);
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    EXPECT_EQ(focused->objectName().toStdString(), std::string(GetParam().selects));
    EXPECT_EQ(focused->parentWidget()->objectName().toStdString(), std::string(GetParam().group));
    EXPECT_TRUE(panel.control<QRadioButton>(GetParam().selects)->isChecked());
}

INSTANTIATE_TEST_SUITE_P(Panel, ArrowKeyTest, ::testing::ValuesIn(ArrowSteps),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PanelArrowKeys, ArrowSelectionIsAClick)
{
    StartedPanel panel;
    panel.control("WaveSin")->setFocus();
    QTest::keyClick(panel.control("WaveSin"), Qt::Key_Right);
    // The focus frame is drawn over the button; look at the mark without it.
    panel.control("FreqValue")->setFocus();
    EXPECT_TRUE(showsPendingMark(panel.control("WaveSqu")));
    panel.click("Enter");
    EXPECT_EQ(panel.sent(10), "8E30000004");
}

TEST(PanelDuty, RightKeyMovesTheBarRightAndLeftKeyLeft)
{
    StartedPanel panel;
    auto* bar = panel.control<QScrollBar>("DutyScroll");
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Right);
    EXPECT_EQ(bar->value(), 51);
    EXPECT_EQ(panel.control<QLabel>("DutyValueLabel")->text().toStdString(), "51");
    QTest::keyClick(bar, Qt::Key_Left);
    QTest::keyClick(bar, Qt::Key_Left);
    EXPECT_EQ(panel.control<QLabel>("DutyValueLabel")->text().toStdString(), "49");
}

TEST(PanelDuty, BarStopsAtItsBounds)
{
    StartedPanel panel;
    for (int i = 0; i < 5; ++i)
        panel.click("DutyTroughRight");
    EXPECT_EQ(panel.control<QLabel>("DutyValueLabel")->text().toStdString(), "80");
    panel.click("Enter");
    EXPECT_EQ(panel.sent(10), "0500000068");
}

TEST(PanelDuty, DraggingTheThumbChangesTheLabelOnlyOnRelease)
{
    StartedPanel panel;
    auto* bar = panel.control<QScrollBar>("DutyScroll");
    auto* label = panel.control<QLabel>("DutyValueLabel");
    const QPoint grip = panel_test::scrollPart(bar, QStyle::SC_ScrollBarSlider).center();
    const QPoint dropped = grip + QPoint(40, 0);

    QTest::mousePress(bar, Qt::LeftButton, {}, grip);
    QMouseEvent drag(QEvent::MouseMove, dropped, bar->mapToGlobal(dropped), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &drag);
    EXPECT_GT(bar->sliderPosition(), 50);
    EXPECT_EQ(label->text().toStdString(), "50");
    EXPECT_FALSE(showsPendingMark(label));

    QTest::mouseRelease(bar, Qt::LeftButton, {}, dropped);
    EXPECT_GT(bar->value(), 50);
    EXPECT_EQ(label->text().toStdString(), std::to_string(bar->value()));
    EXPECT_TRUE(showsPendingMark(label));
}

} // namespace
