// The window as it is drawn: every control's kind, container, caption, place, size, font,
// tab order and colours before anything has been clicked.

#include "tests/qt/panel_fixture.h"

#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

#include <array>
#include <cstdlib>

namespace {

using panel_test::find;

struct Placement {
    const char* name;
    const char* kind;
    const char* container; // "" for the client area of the window
    const char* caption;
    // Client-area position and size in twips, 15 to a pixel.
    int x;
    int y;
    int width;
    int height;
    double points; // 0: the control shows no text
    bool bold;
};

// Rows print as their names in test listings.
void PrintTo(const Placement& row, std::ostream* out)
{
    *out << row.name;
}

// clang-format off
constexpr std::array<Placement, 29> Placements{{
    {"Frame1",         "QGroupBox",    "",         "Function Generitor", 120,  120,  8175, 5895, 8.25, false},
    {"FreqValue",      "QLineEdit",    "Frame1",   "",                   600,  480,  5895, 1695, 72,   true},
    {"Num1",           "QPushButton",  "Frame1",   "1",                  600,  4320, 1095, 495,  12,   true},
    {"Num2",           "QPushButton",  "Frame1",   "2",                  2040, 4320, 1095, 495,  12,   true},
    {"Num3",           "QPushButton",  "Frame1",   "3",                  3480, 4320, 1095, 495,  12,   true},
    {"Num4",           "QPushButton",  "",         "4",                  600,  3480, 1095, 495,  12,   true},
    {"Num5",           "QPushButton",  "",         "5",                  2040, 3480, 1095, 495,  12,   true},
    {"Num6",           "QPushButton",  "",         "6",                  3480, 3480, 1095, 495,  12,   true},
    {"Num7",           "QPushButton",  "",         "7",                  600,  2640, 1095, 495,  12,   true},
    {"Num8",           "QPushButton",  "",         "8",                  2040, 2640, 1095, 495,  12,   true},
    {"Num9",           "QPushButton",  "",         "9",                  3480, 2640, 1095, 495,  12,   true},
    {"Num0",           "QPushButton",  "",         "0",                  600,  5160, 1095, 495,  12,   true},
    {"NumPoint",       "QPushButton",  "",         ".",                  2040, 5160, 1095, 495,  13.5, true},
    {"Enter",          "QPushButton",  "",         "Enter",              4800, 5160, 1695, 495,  12,   true},
    {"WaveForm",       "QGroupBox",    "Frame1",   "Wave Format",        4800, 2520, 3375, 855,  8.25, false},
    {"WaveSin",        "QRadioButton", "WaveForm", "Sin",                4920, 2880, 615,  255,  9.75, false},
    {"WaveSqu",        "QRadioButton", "WaveForm", "Square",             5880, 2880, 975,  255,  9.75, false},
    {"WaveTri",        "QRadioButton", "WaveForm", "Triangle",           6960, 2880, 1095, 255,  9.75, false},
    {"UnitHz",         "QRadioButton", "Frame1",   "Hz",                 6840, 480,  1095, 375,  13.5, false},
    {"UnitKHz",        "QRadioButton", "Frame1",   "KHz",                6840, 1080, 855,  495,  13.5, false},
    {"UnitMHz",        "QRadioButton", "Frame1",   "MHz",                6840, 1800, 975,  495,  13.5, false},
    {"Clear",          "QPushButton",  "Frame1",   "Clear",              3480, 5160, 1095, 495,  12,   true},
    {"DBS",            "QGroupBox",    "Frame1",   "-20DB Switch",       4800, 3480, 3375, 615,  8.25, false},
    {"DBSOn",          "QRadioButton", "DBS",      "On",                 4920, 3720, 615,  255,  8.25, false},
    {"DBSOff",         "QRadioButton", "DBS",      "Off",                6960, 3720, 615,  255,  8.25, false},
    {"DutyScroll",     "QScrollBar",   "Frame1",   "",                   4800, 4680, 3255, 375,  0,    false},
    {"DutyLabel",      "QLabel",       "Frame1",   "Square Duty Cycle:", 4800, 4320, 1455, 255,  8.25, false},
    {"DutyUnitLabel",  "QLabel",       "Frame1",   "%",                  7320, 4320, 255,  255,  9.75, false},
    {"DutyValueLabel", "QLabel",       "Frame1",   "50",                 6480, 4320, 255,  255,  8.25, false},
}};
// clang-format on

QString captionOf(const QWidget* control)
{
    if (auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    if (auto* frame = qobject_cast<const QGroupBox*>(control))
        return frame->title();
    if (auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (auto* box = qobject_cast<const QLineEdit*>(control))
        return box->text();
    return {};
}

// The window before its load handler: no port is needed to look at it.
class PanelLayoutTest : public ::testing::TestWithParam<Placement> {
protected:
    PanelLayoutTest() { window.show(); }
    RecordingDialogs dialogs;
    varlo::Varlo54 window{dialogs};
};

TEST_P(PanelLayoutTest, ControlSitsWhereThePanelWasDrawn)
{
    const Placement& row = GetParam();
    QWidget* control = find(window, row.name);
    ASSERT_NE(control, nullptr);
    QWidget* client = window.centralWidget();

    EXPECT_TRUE(control->inherits(row.kind)) << control->metaObject()->className();
    if (*row.container == '\0')
        EXPECT_EQ(control->parentWidget(), client);
    else
        EXPECT_EQ(control->parentWidget()->objectName().toStdString(), row.container);
    EXPECT_EQ(captionOf(control).toStdString(), std::string(row.caption));

    EXPECT_EQ(control->mapTo(client, QPoint(0, 0)), QPoint(row.x / 15, row.y / 15));
    EXPECT_EQ(control->size(), QSize(row.width / 15, row.height / 15));
    EXPECT_TRUE(control->isVisible());

    if (row.points > 0) {
        EXPECT_DOUBLE_EQ(control->font().pointSizeF(), row.points);
        EXPECT_EQ(control->font().weight(), row.bold ? QFont::Bold : QFont::Normal);
        EXPECT_NE(QFontInfo(control->font()).styleHint(), QFont::Serif);
    }
}

INSTANTIATE_TEST_SUITE_P(Panel, PanelLayoutTest, ::testing::ValuesIn(Placements),
                         [](const auto& info) { return std::string(info.param.name); });

class PanelWindowLayoutTest : public ::testing::Test {
protected:
    PanelWindowLayoutTest()
    {
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    RecordingDialogs dialogs;
    varlo::Varlo54 window{dialogs};
};

TEST_F(PanelWindowLayoutTest, ClientAreaIsFixedBelowTheMenuBar)
{
    EXPECT_EQ(window.windowTitle().toStdString(), "Function Generator");
    EXPECT_EQ(window.centralWidget()->size(), QSize(559, 409));
    EXPECT_EQ(window.centralWidget()->y(), window.menuBar()->geometry().bottom() + 1);
    EXPECT_EQ(window.height(), window.menuBar()->height() + 409);
    EXPECT_EQ(window.minimumSize(), window.size());
    EXPECT_EQ(window.maximumSize(), window.size());
}

TEST_F(PanelWindowLayoutTest, TitleBarHasOnlyTheCloseBox)
{
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
}

TEST_F(PanelWindowLayoutTest, MenuBarHoldsOnlyExitWithoutSubMenu)
{
    const QList<QAction*> items = window.menuBar()->actions();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items.front()->text().toStdString(), "E&XIT");
    EXPECT_EQ(items.front()->objectName().toStdString(), "Exit");
    EXPECT_EQ(items.front()->menu(), nullptr);
}

TEST_F(PanelWindowLayoutTest, IconComesInBothSizes)
{
    const QList<QSize> sizes = window.windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
}

// The focus passes the controls in the panel's order; Tab stops at one option of each group.
TEST_F(PanelWindowLayoutTest, FocusChainFollowsPanelOrder)
{
    const std::vector<std::string> expected{
        "FreqValue", "Num1",    "Num2",    "Num3",     "Num4",  "Num5",    "Num6",      "Num7",
        "Num8",      "Num9",    "Num0",    "NumPoint", "Enter", "WaveSin", "WaveSqu",   "WaveTri",
        "UnitHz",    "UnitKHz", "UnitMHz", "Clear",    "DBSOn", "DBSOff",  "DutyScroll"};
    QWidget* first = find(window, "FreqValue");
    std::vector<std::string> visited;
    QWidget* widget = first;
    do {
        if (widget->focusPolicy() != Qt::NoFocus)
            visited.push_back(widget->objectName().toStdString());
        widget = widget->nextInFocusChain();
    } while (widget != first && visited.size() <= expected.size());
    EXPECT_EQ(visited, expected);
    EXPECT_FALSE(find(window, "Frame1")->focusPolicy() & Qt::TabFocus);
}

TEST_F(PanelWindowLayoutTest, NoKeyIsTheDefaultButton)
{
    for (QPushButton* key : window.findChildren<QPushButton*>()) {
        EXPECT_FALSE(key->isDefault()) << key->objectName().toStdString();
        EXPECT_FALSE(key->autoDefault()) << key->objectName().toStdString();
    }
}

TEST_F(PanelWindowLayoutTest, StartsWithHzSineAndAttenuatorOff)
{
    for (const char* selected : {"UnitHz", "WaveSin", "DBSOff"})
        EXPECT_TRUE(find<QRadioButton>(window, selected)->isChecked()) << selected;
    for (const char* cleared : {"UnitKHz", "UnitMHz", "WaveSqu", "WaveTri", "DBSOn"})
        EXPECT_FALSE(find<QRadioButton>(window, cleared)->isChecked()) << cleared;
}

TEST_F(PanelWindowLayoutTest, DutyBarStartsAtFiftyBetweenTwentyAndEighty)
{
    auto* bar = find<QScrollBar>(window, "DutyScroll");
    EXPECT_EQ(bar->orientation(), Qt::Horizontal);
    EXPECT_EQ(bar->value(), 50);
    EXPECT_EQ(bar->minimum(), 20);
    EXPECT_EQ(bar->maximum(), 80);
    EXPECT_EQ(bar->singleStep(), 1);
    EXPECT_EQ(bar->pageStep(), 10);
    EXPECT_EQ(find<QLabel>(window, "DutyValueLabel")->text().toStdString(), "50");
}

TEST_F(PanelWindowLayoutTest, DisplayIsBlueOnHighlightText)
{
    auto* display = find<QLineEdit>(window, "FreqValue");
    EXPECT_EQ(display->palette().color(QPalette::Text), QColor(0, 0, 255));
    EXPECT_EQ(display->palette().color(QPalette::Base),
              QApplication::palette().color(QPalette::HighlightedText));
    EXPECT_FALSE(display->isReadOnly());
    EXPECT_TRUE(display->hasFrame());
}

TEST_F(PanelWindowLayoutTest, FrameCaptionIsDrawnInTheWindowTextColour)
{
    // The caption is the only text in the band of the frame's top edge, and its darkest
    // pixels carry the colour it is drawn in (within smoothing); the frame's line is lighter.
    QWidget* frame = find(window, "Frame1");
    const QImage drawn = frame->grab().toImage();
    QColor darkest = Qt::white;
    for (int y = 0; y < frame->fontMetrics().height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            if (QColor(drawn.pixel(x, y)).lightness() < darkest.lightness())
                darkest = QColor(drawn.pixel(x, y));
    const QColor text = QApplication::palette().color(QPalette::WindowText);
    EXPECT_LE(std::abs(darkest.red() - text.red()), 8) << darkest.name().toStdString();
    EXPECT_LE(std::abs(darkest.green() - text.green()), 8) << darkest.name().toStdString();
    EXPECT_LE(std::abs(darkest.blue() - text.blue()), 8) << darkest.name().toStdString();
}

// The face of a key, left of its caption.
QRgb faceOf(QWidget* key)
{
    return key->grab().toImage().pixel(4, key->height() / 2);
}

TEST_F(PanelWindowLayoutTest, ClearHasARedFaceAndEnterLooksLikeTheOtherKeys)
{
    // The style shades the face, so the red is lightened but stays a clear red.
    const QColor clearFace = QColor::fromRgb(faceOf(find(window, "Clear")));
    EXPECT_GT(clearFace.red(), 200);
    EXPECT_GT(clearFace.red() - clearFace.green(), 100);
    EXPECT_EQ(clearFace.green(), clearFace.blue());
    EXPECT_EQ(faceOf(find(window, "Enter")), faceOf(find(window, "Num1")));
    EXPECT_EQ(faceOf(find(window, "NumPoint")), faceOf(find(window, "Num1")));
}

TEST_F(PanelWindowLayoutTest, NoControlIsRedAtStart)
{
    for (const Placement& row : Placements) {
        if (std::string_view(row.name) == "Clear")
            continue;
        EXPECT_FALSE(panel_test::showsPendingMark(find(window, row.name))) << row.name;
    }
    for (const char* markable :
         {"WaveSin", "WaveSqu", "WaveTri", "DBSOn", "DBSOff", "DutyValueLabel"})
        EXPECT_TRUE(panel_test::showsButtonFace(find(window, markable))) << markable;
}

} // namespace
