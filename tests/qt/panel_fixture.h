#pragma once

// The panel as the user meets it: started up on a pseudo-terminal published as COM3, the
// port accepted, the window shown; or through varlo-scpi serving that port. Controls are found
// by name and worked with the mouse and keyboard, the way a user reaches them.

#include "panel/load_server_connection.h"
#include "panel/panel_window.h"
#include "tests/qt/pty_pair.h"
#include "tests/qt/recording_dialogs.h"
#include "tests/scpi_process.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace panel_test {

inline const QColor PendingRed{255, 0, 0};

template <typename Control = QWidget> Control* find(const QWidget& window, const char* name)
{
    auto* control = window.findChild<Control*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << "no control " << name;
    return control;
}

// Where a click on an option button lands: its round indicator.
inline QPoint indicatorCentre(QRadioButton* option)
{
    QStyleOptionButton style;
    style.initFrom(option);
    style.text = option->text();
    return option->style()
        ->subElementRect(QStyle::SE_RadioButtonIndicator, &style, option)
        .center();
}

// A part of a scroll bar (arrow, trough, thumb) as the style draws it now.
inline QRect scrollPart(QScrollBar* bar, QStyle::SubControl part)
{
    QStyleOptionSlider style;
    style.initFrom(bar);
    style.subControls = QStyle::SC_All;
    style.orientation = bar->orientation();
    if (bar->orientation() == Qt::Horizontal)
        style.state |= QStyle::State_Horizontal;
    style.minimum = bar->minimum();
    style.maximum = bar->maximum();
    style.sliderPosition = bar->sliderPosition();
    style.sliderValue = bar->value();
    style.singleStep = bar->singleStep();
    style.pageStep = bar->pageStep();
    style.upsideDown = bar->invertedAppearance();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &style, part, bar);
}

// Whether all four corners of the control show the colour: a mark fills the whole control.
inline bool cornersShow(QWidget* control, const QColor& colour)
{
    const QImage image = control->grab().toImage();
    const int right = image.width() - 1;
    const int bottom = image.height() - 1;
    for (const QPoint corner :
         {QPoint(0, 0), QPoint(right, 0), QPoint(0, bottom), QPoint(right, bottom)}) {
        if (image.pixel(corner) != colour.rgb())
            return false;
    }
    return true;
}

inline bool showsPendingMark(QWidget* control)
{
    return cornersShow(control, PendingRed);
}

inline bool showsButtonFace(QWidget* control)
{
    return cornersShow(control, QApplication::palette(control).color(QPalette::Button));
}

// The panel's connection to the server, through the module it loads as `varlo --connect` does.
inline std::unique_ptr<varlo::ServerConnection> loadedConnection(const varlo::ServerAddress& server)
{
    auto loaded = varlo::loadServerConnection(server);
    if (const std::string* why = std::get_if<std::string>(&loaded)) {
        ADD_FAILURE() << "the network client did not load: " << *why;
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<varlo::ServerConnection>>(loaded));
}

class StartedPanel {
public:
    enum class Through { Port, Server };

    explicit StartedPanel(Through through = Through::Port)
        : server(through == Through::Server ? std::make_unique<ScpiProcess>(dir.path(), 3)
                                            : nullptr),
          window(dialogs, server ? loadedConnection(server->address()) : nullptr)
    {
        dialogs.answers = {true};
        loaded = window.Form_Load();
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    template <typename Control = QWidget> Control* control(const char* name) const
    {
        return find<Control>(window, name);
    }

    std::string display() const { return control<QLineEdit>("FreqValue")->text().toStdString(); }

    // A mouse click where the user aims: the centre of a key, the indicator of an option
    // button. "DutyArrowRight" and "DutyTroughRight" click those parts of DutyScroll.
    void click(const std::string& name)
    {
        if (name == "DutyArrowRight" || name == "DutyTroughRight") {
            auto* bar = control<QScrollBar>("DutyScroll");
            const auto part = name == "DutyArrowRight" ? QStyle::SC_ScrollBarAddLine
                                                       : QStyle::SC_ScrollBarAddPage;
            QTest::mouseClick(bar, Qt::LeftButton, {}, scrollPart(bar, part).center());
            return;
        }
        QWidget* target = control(name.c_str());
        ASSERT_NE(target, nullptr);
        if (auto* option = qobject_cast<QRadioButton*>(target))
            QTest::mouseClick(option, Qt::LeftButton, {}, indicatorCentre(option));
        else
            QTest::mouseClick(target, Qt::LeftButton, {}, target->rect().center());
    }

    void clickAll(const std::vector<std::string>& names)
    {
        for (const std::string& name : names)
            click(name);
    }

    // Keys as written on the keypad: digits, "." for NumPoint, C for Clear, E for Enter.
    void keys(const std::string& sequence)
    {
        for (const char key : sequence) {
            if (key == 'C')
                click("Clear");
            else if (key == 'E')
                click("Enter");
            else if (key == '.')
                click("NumPoint");
            else
                click("Num" + std::string(1, key));
        }
    }

    // Replaces the display's text by typing, as the user would.
    void typeIntoDisplay(const QString& text)
    {
        auto* display = control<QLineEdit>("FreqValue");
        QTest::keyClick(display, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(display, text);
    }

    // What reached the instrument's end of the line.
    std::string sent(std::size_t count) { return pty.readAtMaster(count); }
    // Waits a moment and returns whatever arrived; empty when nothing was sent.
    std::string sentWithin(int timeoutMs) { return pty.readAtMaster(1, timeoutMs); }

    // Enter was refused: the range box came last, the program ended, nothing went out.
    void expectRefusedAsTooLarge()
    {
        const RecordingDialogs::Box refusal{"exclamation", "Out of Range", "Frequency too large!"};
        ASSERT_FALSE(dialogs.boxes.empty());
        EXPECT_EQ(dialogs.boxes.back(), refusal);
        EXPECT_TRUE(dialogs.ended);
        EXPECT_EQ(sentWithin(300), "");
    }

    // Enter was refused and the panel goes on: the below-zero box came last, nothing went out.
    void expectRefusedAsBelowZero()
    {
        const RecordingDialogs::Box refusal{"exclamation", "Out of Range", "Frequency below zero!"};
        ASSERT_FALSE(dialogs.boxes.empty());
        EXPECT_EQ(dialogs.boxes.back(), refusal);
        EXPECT_FALSE(dialogs.ended);
        EXPECT_EQ(sentWithin(300), "");
    }

    PortDir dir;
    PtyPair pty{dir.path(), 3};
    std::unique_ptr<ScpiProcess> server; // the port's owner, when the panel goes through it
    RecordingDialogs dialogs;
    varlo::Varlo54 window;
    bool loaded = false;
};

} // namespace panel_test
