#include "instrument/instrument_window.h"

#include <QLabel>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

using varlo::instrument::InstrumentWindow;

namespace {

struct WindowParts {
    QLabel* state;
    QPlainTextEdit* log;
};

WindowParts partsOf(InstrumentWindow& window)
{
    return {window.findChild<QLabel*>(QStringLiteral("StateText")),
            window.findChild<QPlainTextEdit*>(QStringLiteral("CommandLog"))};
}

TEST(InstrumentWindow, ShowsTheSettingsOfAFrequencyCommand)
{
    InstrumentWindow window(QStringLiteral("COM3"));
    window.show();
    const WindowParts parts = partsOf(window);
    ASSERT_TRUE(parts.state && parts.log);

    window.showCommand("4D03000014");
    const QString state = parts.state->text();
    EXPECT_TRUE(state.contains(QStringLiteral("12.5 kHz"))) << state.toStdString();
    EXPECT_TRUE(state.contains(QStringLiteral("square"))) << state.toStdString();
    EXPECT_TRUE(state.contains(QStringLiteral("on (-20 dB)"))) << state.toStdString();
    EXPECT_EQ(
        parts.log->toPlainText(),
        QStringLiteral(
            "4D03000014  ->  frequency 12500.00 Hz, square, attenuator on, duty not adjusted"));
}

TEST(InstrumentWindow, LogsUndecodableInputAndKeepsTheLastSettings)
{
    InstrumentWindow window(QStringLiteral("COM3"));
    const WindowParts parts = partsOf(window);
    ASSERT_TRUE(parts.state && parts.log);

    window.showCommand("B400000064");
    const QString before = parts.state->text();
    window.showCommand("XYZ");
    EXPECT_EQ(parts.state->text(), before);
    EXPECT_TRUE(before.contains(QStringLiteral("75 %"))) << before.toStdString();
    const QStringList lines = parts.log->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines.at(1), QStringLiteral("undecodable \"XYZ\" (wrong length)"));
}

} // namespace
