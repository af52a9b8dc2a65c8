// The panel as a screen reader and a keyboard-only user meet it: what each control is called
// and says, the actions assistive technology offers, and the keyboard alone.

#include "tests/qt/panel_fixture.h"

#include <QAccessible>
#include <QLabel>

#include <set>

namespace {

using panel_test::showsPendingMark;
using panel_test::StartedPanel;

QAccessibleInterface* accessOf(QWidget* control)
{
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(control);
    EXPECT_NE(access, nullptr) << control->objectName().toStdString();
    return access;
}

std::string said(QWidget* control, QAccessible::Text kind)
{
    return accessOf(control)->text(kind).toStdString();
}

// What a listener hears of each control: its role, its name and, where it has one, its value.
struct Heard {
    const char* control;
    QAccessible::Role role;
    const char* name;
    const char* value;
};

// clang-format off
const Heard HeardAtStart[] = {
    {"Varlo54",        QAccessible::Window,       "Function Generator", ""},
    {"Frame1",         QAccessible::Grouping,     "Function Generitor", ""},
    {"FreqValue",      QAccessible::EditableText, "Frequency",          "1000"},
    {"Num0",           QAccessible::Button,       "0",                  ""},
    {"Num1",           QAccessible::Button,       "1",                  ""},
    {"Num2",           QAccessible::Button,       "2",                  ""},
    {"Num3",           QAccessible::Button,       "3",                  ""},
    {"Num4",           QAccessible::Button,       "4",                  ""},
    {"Num5",           QAccessible::Button,       "5",                  ""},
    {"Num6",           QAccessible::Button,       "6",                  ""},
    {"Num7",           QAccessible::Button,       "7",                  ""},
    {"Num8",           QAccessible::Button,       "8",                  ""},
    {"Num9",           QAccessible::Button,       "9",                  ""},
    {"NumPoint",       QAccessible::Button,       ".",                  ""},
    {"Clear",          QAccessible::Button,       "Clear",              ""},
    {"Enter",          QAccessible::Button,       "Enter",              ""},
    {"WaveForm",       QAccessible::Grouping,     "Wave Format",        ""},
    {"WaveSin",        QAccessible::RadioButton,  "Sin",                ""},
    {"WaveSqu",        QAccessible::RadioButton,  "Square",             ""},
    {"WaveTri",        QAccessible::RadioButton,  "Triangle",           ""},
    {"UnitHz",         QAccessible::RadioButton,  "Hz",                 ""},
    {"UnitKHz",        QAccessible::RadioButton,  "KHz",                ""},
    {"UnitMHz",        QAccessible::RadioButton,  "MHz",                ""},
    {"DBS",            QAccessible::Grouping,     "-20DB Switch",       ""},
    {"DBSOn",          QAccessible::RadioButton,  "On",                 ""},
    {"DBSOff",         QAccessible::RadioButton,  "Off",                ""},
    {"DutyScroll",     QAccessible::ScrollBar,    "Square Duty Cycle",  "50"},
    {"DutyLabel",      QAccessible::StaticText,   "Square Duty Cycle:", ""},
    {"DutyUnitLabel",  QAccessible::StaticText,   "%",                  ""},
    {"DutyValueLabel", QAccessible::StaticText,   "50",                 ""},
};
// clang-format on

TEST(PanelAccess, EachControlIsNamedAsAPersonReadsIt)
{
    StartedPanel panel;
    for (const Heard& row : HeardAtStart) {
        QWidget* control =
            std::string_view(row.control) == "Varlo54" ? &panel.window : panel.control(row.control);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(accessOf(control)->role(), row.role) << row.control;
        EXPECT_EQ(said(control, QAccessible::Name), row.name) << row.control;
        EXPECT_EQ(said(control, QAccessible::Value), row.value) << row.control;
        EXPECT_EQ(said(control, QAccessible::Description), "") << row.control;
    }
}

// A pending mark is said in words wherever it is shown in red, and the duty bar says its
// label's; the words go when the mark goes.
struct Described {
    const char* name;
    std::vector<std::string> clicks;
    std::set<std::string> described;
};

void PrintTo(const Described& row, std::ostream* out)
{
    *out << row.name;
}

const Described DescribedCases[] = {
    {"SquareThenTriangleDescribeBoth", {"WaveSqu", "WaveTri"}, {"WaveSqu", "WaveTri"}},
    {"DutyStepDescribesItsLabelAndTheBar", {"DutyArrowRight"}, {"DutyValueLabel", "DutyScroll"}},
    {"FrequencyCommandTakesTheWordsAway", {"WaveSqu", "DBSOn", "Enter"}, {}},
    {"DutyCommandKeepsTheOptionsWords", {"WaveSqu", "DutyArrowRight", "Enter"}, {"WaveSqu"}},
};

const char* const Describable[] = {"WaveSin", "WaveSqu",        "WaveTri",    "DBSOn",
                                   "DBSOff",  "DutyValueLabel", "DutyScroll", "UnitKHz"};

class PanelMarkWords : public ::testing::TestWithParam<Described> {};

TEST_P(PanelMarkWords, SayWhatTheRedShows)
{
    StartedPanel panel;
    panel.clickAll(GetParam().clicks);
    for (const char* name : Describable) {
        QWidget* control = panel.control(name);
        const bool expected = GetParam().described.count(name) > 0;
        EXPECT_EQ(said(control, QAccessible::Description), expected ? "changed, not yet sent" : "")
            << name;
        EXPECT_EQ(control->toolTip().toStdString(), expected ? "changed, not yet sent" : "")
            << name;
        if (std::string_view(name) != "DutyScroll") {
            EXPECT_EQ(showsPendingMark(control), expected) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Panel, PanelMarkWords, ::testing::ValuesIn(DescribedCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Runs an action as assistive technology does, and waits until what it did shows.
void act(StartedPanel& panel, const char* control, const QString& action,
         const std::function<bool()>& done)
{
    QAccessibleActionInterface* actions = accessOf(panel.control(control))->actionInterface();
    ASSERT_NE(actions, nullptr) << control;
    ASSERT_TRUE(actions->actionNames().contains(action)) << control;
    actions->doAction(action);
    EXPECT_TRUE(QTest::qWaitFor(done, 2000)) << control << " " << action.toStdString();
}

TEST(PanelActions, PressOnAKeyIsItsClick)
{
    StartedPanel panel;
    const QString press = QAccessibleActionInterface::pressAction();
    act(panel, "Clear", press, [&] { return panel.display().empty(); });
    act(panel, "Num7", press, [&] { return panel.display() == "7"; });
    EXPECT_TRUE(panel.window.panelState().SettingsChanged);
    act(panel, "Enter", press, [&] { return !panel.window.panelState().SettingsChanged; });
    EXPECT_EQ(panel.sent(10), "7000000008");
}

TEST(PanelActions, ToggleOnAnOptionIsItsClickEvenWhenSelected)
{
    StartedPanel panel;
    const QString toggle = QAccessibleActionInterface::toggleAction();
    act(panel, "WaveSin", toggle, [&] { return showsPendingMark(panel.control("WaveSin")); });
    EXPECT_TRUE(panel.control<QRadioButton>("WaveSin")->isChecked());
    EXPECT_TRUE(panel.window.panelState().SettingsChanged);
    act(panel, "WaveSqu", toggle, [&] { return showsPendingMark(panel.control("WaveSqu")); });
    EXPECT_TRUE(panel.control<QRadioButton>("WaveSqu")->isChecked());
    EXPECT_FALSE(panel.control<QRadioButton>("WaveSin")->isChecked());
    panel.click("Enter");
    EXPECT_EQ(panel.sent(10), "8E30000004");
}

TEST(PanelActions, IncreaseDecreaseAndSetValueMoveTheDutyAsTheBarDoes)
{
    StartedPanel panel;
    auto* label = panel.control<QLabel>("DutyValueLabel");
    const auto labelShows = [label](const char* text) {
        return [label, text] { return label->text() == QLatin1String(text); };
    };
    act(panel, "DutyScroll", QAccessibleActionInterface::increaseAction(), labelShows("51"));
    EXPECT_TRUE(showsPendingMark(label));
    EXPECT_TRUE(panel.window.panelState().DutyChanged);
    act(panel, "DutyScroll", QAccessibleActionInterface::decreaseAction(), labelShows("50"));
    act(panel, "DutyScroll", QAccessibleActionInterface::decreaseAction(), labelShows("49"));
    accessOf(panel.control("DutyScroll"))->valueInterface()->setCurrentValue(60);
    EXPECT_EQ(label->text().toStdString(), "60");
    EXPECT_EQ(said(panel.control("DutyScroll"), QAccessible::Value), "60");
    panel.click("Enter");
    EXPECT_EQ(panel.sent(10), "C300000068");
}

// The keyboard alone: Tab and Shift+Tab go from stop to stop, Space presses a key, the arrow
// keys choose an option.
QWidget* focused()
{
    return QApplication::focusWidget();
}

void press(Qt::Key key)
{
    ASSERT_NE(focused(), nullptr);
    QTest::keyClick(focused(), key);
}

void tabTo(const char* name)
{
    for (int presses = 0; presses < 30 && focused()->objectName() != QLatin1String(name); ++presses)
        press(Qt::Key_Tab);
    ASSERT_EQ(focused()->objectName().toStdString(), name);
}

TEST(PanelKeyboard, TabStopsAtEveryKeyAndTheSelectedOptionOfEachGroup)
{
    StartedPanel panel;
    std::vector<std::string> stops;
    do {
        stops.push_back(focused()->objectName().toStdString());
        press(Qt::Key_Tab);
    } while (focused() != panel.control("FreqValue") && stops.size() < 30);
    const std::vector<std::string> expected{
        "FreqValue", "Num1",    "Num2",   "Num3",  "Num4",   "Num5",
        "Num6",      "Num7",    "Num8",   "Num9",  "Num0",   "NumPoint",
        "Enter",     "WaveSin", "UnitHz", "Clear", "DBSOff", "DutyScroll"};
    EXPECT_EQ(stops, expected);
}

TEST(PanelKeyboard, KeyboardOnlySessionSendsTwelvePointFiveKilohertzSquare)
{
    StartedPanel panel;
    tabTo("Clear");
    press(Qt::Key_Space);
    EXPECT_EQ(panel.display(), "");
    tabTo("FreqValue");
    QTest::keyClicks(focused(), QStringLiteral("12.5"));
    EXPECT_EQ(panel.display(), "12.5");
    tabTo("UnitHz");
    press(Qt::Key_Down);
    EXPECT_TRUE(panel.control<QRadioButton>("UnitKHz")->isChecked());
    tabTo("WaveSin");
    press(Qt::Key_Right);
    EXPECT_TRUE(panel.control<QRadioButton>("WaveSqu")->isChecked());
    tabTo("Enter");
    press(Qt::Key_Space);
    EXPECT_EQ(panel.sent(10), "4D03000004");
}

} // namespace
