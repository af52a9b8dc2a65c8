// The panel's life: how it opens after the port search, the picture it shows, and the ways it
// ends.

#include "tests/qt/panel_fixture.h"
#include "tests/start_up_command.h"

#include <QMenuBar>
#include <QPushButton>

#include <functional>

namespace {

using panel_test::StartedPanel;

TEST(PanelStartup, OpensWithThousandHzSineOffAndFocusInTheDisplay)
{
    StartedPanel panel;
    ASSERT_TRUE(panel.loaded);
    EXPECT_EQ(panel.display(), "1000");
    EXPECT_EQ(panel.window.focusWidget(), panel.control("FreqValue"));
    EXPECT_EQ(QApplication::focusWidget(), panel.control("FreqValue"));
    const RecordingDialogs::Box accepted{"information", "Function Generator", "Using COM3:"};
    ASSERT_FALSE(panel.dialogs.boxes.empty());
    EXPECT_EQ(panel.dialogs.boxes.back(), accepted);
    EXPECT_FALSE(panel.dialogs.ended);
}

TEST(PanelStartup, DisplayShowsItsDigitsInBlue)
{
    StartedPanel panel;
    const QImage image = panel.control("FreqValue")->grab().toImage();
    bool blue = false;
    for (int y = 0; y < image.height() && !blue; ++y)
        for (int x = 0; x < image.width() && !blue; ++x)
            blue = image.pixel(x, y) == QColor(0, 0, 255).rgb();
    EXPECT_TRUE(blue);
}

TEST(PanelStartup, EnterStraightAwaySendsTheStartupFrequency)
{
    StartedPanel panel;
    panel.click("Enter");
    EXPECT_EQ(panel.sent(10), StartUpCommand);
}

TEST(PanelStartup, NoPortAcceptedEndsBeforeTheWindowIsUsed)
{
    PortDir dir;
    PtyPair pty(dir.path(), 3);
    RecordingDialogs dialogs;
    dialogs.answers = {false};
    varlo::Varlo54 window(dialogs);
    EXPECT_FALSE(window.Form_Load());
    EXPECT_TRUE(dialogs.ended);
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.boxes.back().text, "No communication port can use!");
}

TEST(PanelStartup, ReturnInTheDisplayPressesNoKey)
{
    StartedPanel panel;
    QTest::keyClick(panel.control("FreqValue"), Qt::Key_Return);
    QTest::keyClick(panel.control("FreqValue"), Qt::Key_Enter);
    QTest::keyClick(panel.control("FreqValue"), Qt::Key_Escape);
    EXPECT_EQ(panel.sentWithin(300), "");
    EXPECT_EQ(panel.display(), "1000");
    EXPECT_FALSE(panel.dialogs.ended);
}

// The keys fill themselves with the colour beneath them, so that pressing one repaints the
// key alone; the panel must look exactly as it does with see-through keys, also after its
// colours change.
struct KeyLook {
    const char* name;
    std::function<void(QWidget& window)> change;
};

void PrintTo(const KeyLook& row, std::ostream* out)
{
    *out << row.name;
}

class PanelKeys : public ::testing::TestWithParam<KeyLook> {};

TEST_P(PanelKeys, FilledKeysLookAsSeeThroughKeysDo)
{
    StartedPanel panel;
    GetParam().change(panel.window);
    QTest::qWait(0);
    const QList<QPushButton*> keys = panel.window.findChildren<QPushButton*>();
    ASSERT_EQ(keys.size(), 13);
    // An opaque fill is what makes Qt repaint the key alone.
    for (QPushButton* key : keys) {
        EXPECT_TRUE(key->autoFillBackground()) << key->objectName().toStdString();
        EXPECT_TRUE(key->palette().brush(key->backgroundRole()).isOpaque())
            << key->objectName().toStdString();
    }
    const QImage filled = panel.window.grab().toImage();

    for (QPushButton* key : keys)
        key->setAutoFillBackground(false);
    EXPECT_EQ(filled, panel.window.grab().toImage());
}

INSTANTIATE_TEST_SUITE_P(Looks, PanelKeys,
                         ::testing::Values(KeyLook{"AsOpened", [](QWidget&) {}},
                                           KeyLook{"AfterTheWindowColourChanges",
                                                   [](QWidget& window) {
                                                       QPalette palette = window.palette();
                                                       palette.setColor(QPalette::Window,
                                                                        QColor(0x60, 0x70, 0x80));
                                                       window.setPalette(palette);
                                                   }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PanelExit, MenuItemClosesThePortAndEnds)
{
    StartedPanel panel;
    ASSERT_TRUE(panel.pty.slaveHeldOpen());
    const std::size_t boxesBefore = panel.dialogs.boxes.size();
    panel.window.findChild<QAction*>(QStringLiteral("Exit"))->trigger();
    EXPECT_FALSE(panel.pty.slaveHeldOpen());
    EXPECT_TRUE(panel.dialogs.ended);
    EXPECT_EQ(panel.dialogs.boxes.size(), boxesBefore);
    EXPECT_EQ(panel.sentWithin(200), "");
}

TEST(PanelExit, AltXRunsExitAtOnce)
{
    StartedPanel panel;
    ASSERT_TRUE(panel.pty.slaveHeldOpen());
    QTest::keyClick(panel.control("FreqValue"), Qt::Key_X, Qt::AltModifier);
    EXPECT_TRUE(panel.dialogs.ended);
    EXPECT_FALSE(panel.pty.slaveHeldOpen());
    EXPECT_EQ(panel.display(), "1000");
}

TEST(PanelExit, CloseBoxEndsWithoutTheExitStep)
{
    StartedPanel panel;
    EXPECT_TRUE(panel.window.close());
    EXPECT_FALSE(panel.window.isVisible());
    EXPECT_FALSE(panel.dialogs.ended);
    // The port stays with the program until the program itself goes.
    EXPECT_TRUE(panel.pty.slaveHeldOpen());
}

} // namespace
