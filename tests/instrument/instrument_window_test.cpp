#include "instrument/instrument_window.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

using varlo::instrument::InstrumentWindow;

namespace {

struct WindowParts {
    QLabel* state;
    QLabel* scale;
    QPlainTextEdit* log;
};

WindowParts partsOf(InstrumentWindow& window)
{
    return {window.findChild<QLabel*>(QStringLiteral("StateText")),
            window.findChild<QLabel*>(QStringLiteral("PlotScale")),
            window.findChild<QPlainTextEdit*>(QStringLiteral("CommandLog"))};
}

TEST(InstrumentWindow, ShowsTheSettingsOfAFrequencyCommand)
{
    InstrumentWindow window(QStringLiteral("COM3"));
    window.show();
    const WindowParts parts = partsOf(window);
    ASSERT_TRUE(parts.state && parts.scale && parts.log);
    EXPECT_EQ(parts.scale->text(), QStringLiteral("1 kHz, period 1 ms"));

    window.showCommand("4D03000014", 1234);
    const QString state = parts.state->text();
    EXPECT_TRUE(state.contains(QStringLiteral("12.5 kHz"))) << state.toStdString();
    EXPECT_TRUE(state.contains(QStringLiteral("square"))) << state.toStdString();
    EXPECT_TRUE(state.contains(QStringLiteral("on (-20 dB)"))) << state.toStdString();
    EXPECT_EQ(parts.scale->text(), QStringLiteral("12.5 kHz, period 80 \u00b5s"));
    EXPECT_EQ(parts.log->toPlainText(),
              QStringLiteral("    1234 ms  4D03000014  ->  frequency 12500.00 Hz, square, "
                             "attenuator on, duty not adjusted"));
    window.showCommand("0000000008", 1300);
    EXPECT_EQ(parts.scale->text(), QStringLiteral("0 Hz, no period"));
}

TEST(InstrumentWindow, LogsUndecodableInputAndKeepsTheLastSettings)
{
    InstrumentWindow window(QStringLiteral("COM3"));
    const WindowParts parts = partsOf(window);
    ASSERT_TRUE(parts.state && parts.log);

    window.showCommand("B400000064", 5);
    const QString before = parts.state->text();
    window.showCommand("XYZ", 57);
    EXPECT_EQ(parts.state->text(), before);
    EXPECT_TRUE(before.contains(QStringLiteral("75 %"))) << before.toStdString();
    const QStringList lines = parts.log->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines.at(1), QStringLiteral("      57 ms  undecodable \"XYZ\" (wrong length)"));
}

// Bytes that form no command, without a blank among them, stay inside the box.
TEST(InstrumentWindow, LongLinesWrapInsideTheLog)
{
    InstrumentWindow window(QStringLiteral("COM3"));
    window.resize(480, 560);
    window.show();
    const WindowParts parts = partsOf(window);
    ASSERT_TRUE(parts.log);

    window.showCommand(QByteArray(300, 'A'), 1);
    QApplication::processEvents();
    EXPECT_EQ(parts.log->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(parts.log->document()->firstBlock().layout()->lineCount(), 2);
}

} // namespace
