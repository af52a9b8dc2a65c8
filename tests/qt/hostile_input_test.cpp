// Whatever lands in the display, Enter either sends the number it stands for or refuses it
// with a range box; nothing crashes and nothing else goes out.

#include "tests/qt/panel_fixture.h"

#include <QClipboard>
#include <QGuiApplication>

#include <string>

namespace {

using panel_test::StartedPanel;

struct Pasted {
    const char* name;
    std::string text;
    const char* sent; // TooLarge or BelowZero: refused with that box
};

const char* const TooLarge = nullptr;
const char* const BelowZero = "";

void PrintTo(const Pasted& row, std::ostream* out)
{
    *out << row.name;
}

const Pasted PastedTexts[] = {
    {"OverflowingExponent", "1e400", TooLarge},
    {"NegativeOverflow", "-1e400", BelowZero},
    {"Underflow", "1e-400", "0000000008"},
    {"LoneMinus", "-", "0000000008"},
    {"LonePlus", "+", "0000000008"},
    {"LonePoint", ".", "0000000008"},
    {"SignAndPoint", "-.", "0000000008"},
    {"FullwidthDigits", "\xEF\xBC\x95\xEF\xBC\x90", "0000000008"},
    {"MicroSignFirst",
     "\xC2\xB5"
     "5",
     "0000000008"},
    {"NumberThenNonAscii",
     "12.5\xE2\x80\xAF"
     "kHz",
     "C000002308"},
    {"TenKilobytesOfNines", std::string(10000, '9'), TooLarge},
    {"NumberThenTenKilobytesOfLetters", "12.5" + std::string(10000, 'x'), "C000002308"},
    {"TenKilobytesOfLeadingZeros", std::string(10000, '0') + "42", "A200000008"},
    {"TinyFractionInTenKilobytes", "0." + std::string(10000, '0') + "1", "0000000008"},
    {"NegativeFraction", "-12.75", BelowZero},
};

class PastedIntoDisplay : public ::testing::TestWithParam<Pasted> {};

TEST_P(PastedIntoDisplay, EnterSendsItsNumberOrRefusesIt)
{
    StartedPanel panel;
    auto* display = panel.control<QLineEdit>("FreqValue");
    QGuiApplication::clipboard()->setText(QString::fromStdString(GetParam().text));
    QTest::keyClick(display, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(display, Qt::Key_V, Qt::ControlModifier);
    ASSERT_FALSE(display->text().isEmpty());
    const QString shown = display->text();
    panel.click("Enter");

    if (GetParam().sent == TooLarge) {
        panel.expectRefusedAsTooLarge();
    } else if (*GetParam().sent == '\0') {
        panel.expectRefusedAsBelowZero();
        EXPECT_EQ(display->text(), shown);
    } else {
        EXPECT_EQ(panel.sent(10), GetParam().sent);
        EXPECT_EQ(panel.dialogs.boxes.size(), 2u) << "only the two start-up boxes";
        EXPECT_FALSE(panel.dialogs.ended);
    }
}

INSTANTIATE_TEST_SUITE_P(Panel, PastedIntoDisplay, ::testing::ValuesIn(PastedTexts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PastedIntoDisplay, KeyOnAnInfiniteValueShowsAndRefusesIt)
{
    StartedPanel panel;
    panel.keys("C1");
    panel.typeIntoDisplay(QStringLiteral("1e400"));
    // Key 5 works on the typed value: infinity stays infinity, and the display says so in a
    // form that reads back as infinity, never as a smaller number.
    panel.keys("5");
    EXPECT_EQ(panel.display(), "1E+999");
    panel.click("Enter");
    panel.expectRefusedAsTooLarge();
}

} // namespace
