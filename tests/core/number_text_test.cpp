#include "entry/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

struct ValueCase {
    const char* name;
    std::string text;
    double value;
};

class NumericValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(NumericValue, ReadsTheLeadingNumber)
{
    EXPECT_EQ(varlo::numericValue(GetParam().text), GetParam().value) << GetParam().text;
}

const double Inf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Texts, NumericValue,
    ::testing::Values(
        ValueCase{"decimal", "12.5", 12.5}, ValueCase{"trailing_point", "12.", 12},
        ValueCase{"lone_point", ".", 0}, ValueCase{"empty", "", 0},
        ValueCase{"leading_zero", "051", 51}, ValueCase{"inner_blanks", "1 2 5", 125},
        ValueCase{"tabs_and_line_feeds", "\t1\n2", 12}, ValueCase{"comma_ends_number", "12,5", 12},
        ValueCase{"unit_after_number", "5kHz", 5}, ValueCase{"letters", "abc", 0},
        ValueCase{"leading_point", ".5", 0.5}, ValueCase{"plus_sign", "+7", 7},
        ValueCase{"minus_sign", "-2.5", -2.5}, ValueCase{"lone_sign", "-", 0},
        ValueCase{"sign_and_point", "+.", 0}, ValueCase{"second_point", "1.2.3", 1.2},
        ValueCase{"exponent", "5E-05", 5e-05}, ValueCase{"lower_d_exponent", "2d3", 2000},
        ValueCase{"exponent_without_digits", "3E", 3},
        ValueCase{"exponent_sign_without_digits", "3e+", 3},
        ValueCase{"blank_inside_exponent", "1 e 2", 100}, ValueCase{"overflow", "1e400", Inf},
        ValueCase{"negative_overflow", "-1e400", -Inf}, ValueCase{"underflow", "1e-400", 0},
        ValueCase{"huge_exponent", "1e99999999999999999999", Inf},
        ValueCase{"tiny_exponent", "1e-99999999999999999999", 0},
        ValueCase{"long_mantissa_underflow", "0.000000000000000000001e-400", 0},
        ValueCase{"comma_decimal_mark_ignored", "1,5", 1},
        ValueCase{"non_ascii",
                  "\xC2\xB5"
                  "5",
                  0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NumericValue, LongDigitStringsDoNotBreakIt)
{
    EXPECT_EQ(varlo::numericValue(std::string(10000, '9')), Inf);
    EXPECT_EQ(varlo::numericValue("0." + std::string(10000, '0') + "1"), 0.0);
    EXPECT_EQ(varlo::numericValue(std::string(10000, '0') + "42"), 42.0);
}

struct FormCase {
    const char* name;
    double value;
    std::string text;
};

class TextForm : public ::testing::TestWithParam<FormCase> {};

TEST_P(TextForm, WritesTheDisplayForm)
{
    EXPECT_EQ(varlo::textForm(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, TextForm,
    ::testing::Values(FormCase{"whole", 10005, "10005"}, FormCase{"negative_whole", -42, "-42"},
                      FormCase{"zero", 0, "0"}, FormCase{"negative_zero", -0.0, "0"},
                      FormCase{"fraction", 12.5, "12.5"}, FormCase{"below_one", 0.7, "0.7"},
                      FormCase{"fifteen_digits_hide_binary_noise", 1.2345 + 6e-05, "1.23456"},
                      FormCase{"seven_hundredths", 0.06999999999999999, "0.07"},
                      FormCase{"repeated_division", 7.0 / 10 / 10, "0.07"},
                      FormCase{"negative_fraction", -0.25, "-0.25"},
                      FormCase{"smallest_plain", 0.0001, "0.0001"},
                      FormCase{"below_plain_range", 5e-05, "5E-05"},
                      FormCase{"exponent_hides_binary_noise", 6.000000000000001e-05, "6E-05"},
                      FormCase{"exponent_rounds_to_fifteen_digits", 1.2345678901234567e-07,
                               "1.23456789012346E-07"},
                      FormCase{"largest_whole", 999999999999999, "999999999999999"},
                      FormCase{"above_plain_range", 1e15, "1E+15"},
                      FormCase{"keyed_from_startup", 10009999999, "10009999999"},
                      FormCase{"rounds_up_to_whole", 0.99999999999999999, "1"},
                      FormCase{"largest_double_keeps_the_digits_that_stay_finite",
                               1.7976931348623157e308, "1.7976931348623157E+308"},
                      FormCase{"infinite", Inf, "1E+999"},
                      FormCase{"negative_infinite", -Inf, "-1E+999"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextForm, ExponentFormsOfFifteenDigitsReadBackExactly)
{
    for (double value : {5e-05, 6e-05, 1.5e-300, 3e300, -7.5e20, 1e15})
        EXPECT_EQ(varlo::numericValue(varlo::textForm(value)), value) << varlo::textForm(value);
    EXPECT_EQ(varlo::numericValue(varlo::textForm(Inf)), Inf);
}

TEST(TextForm, ShownNumberShowsTheSameWhenReadBack)
{
    // Rounding to 15 digits would carry these into the next power of ten.
    for (double value : {999999999999999.9, 0.000099999999999999999, 0.99999999999999994, 12.5,
                         6.000000000000001e-05, 123456789012345678.0}) {
        const std::string shown = varlo::textForm(value);
        EXPECT_EQ(varlo::textForm(varlo::numericValue(shown)), shown) << value;
    }
}

} // namespace
