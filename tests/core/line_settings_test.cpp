#include "serial/line_settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LineSettings, ReadsThePanelSettings)
{
    const auto settings = varlo::parseLineSettings(varlo::PanelLineSettings);
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->baud, 9600);
    EXPECT_EQ(settings->parity, varlo::LineSettings::Parity::None);
    EXPECT_EQ(settings->dataBits, 8);
    EXPECT_EQ(settings->stopBits, varlo::LineSettings::StopBits::One);
}

TEST(LineSettings, ReadsOtherValidSettings)
{
    const auto settings = varlo::parseLineSettings("19200 E 7 2");
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->baud, 19200);
    EXPECT_EQ(settings->parity, varlo::LineSettings::Parity::Even);
    EXPECT_EQ(settings->dataBits, 7);
    EXPECT_EQ(settings->stopBits, varlo::LineSettings::StopBits::Two);
    EXPECT_EQ(varlo::parseLineSettings("9600 O 5 1.5")->stopBits,
              varlo::LineSettings::StopBits::OneAndHalf);
}

TEST(LineSettings, RefusesWhatNoLineHas)
{
    for (const char* text :
         {"", "9600", "9600,N,8,1", "9600  N 8 1", " 9600 N 8 1", "9600 N 8 1 ", "0 N 8 1",
          "-9600 N 8 1", "fast N 8 1", "9600 X 8 1", "9600 NN 8 1", "9600 N 9 1", "9600 N 4 1",
          "9600 N 8 3", "9600 N 8 0", "99999999999 N 8 1"})
        EXPECT_FALSE(varlo::parseLineSettings(text)) << '"' << text << '"';
}

} // namespace
