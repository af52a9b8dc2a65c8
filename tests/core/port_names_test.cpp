#include "serial/port_names.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct PortCase {
    int port;
    std::optional<std::string> device;
};

TEST(PortDevicePath, MapsComNumbersToLinuxDevices)
{
    for (const auto& [port, device] :
         {PortCase{1, "/dev/ttyS0"}, PortCase{4, "/dev/ttyS3"}, PortCase{5, "/dev/ttyUSB0"},
          PortCase{10, "/dev/ttyUSB5"}, PortCase{11, "/dev/ttyACM0"}, PortCase{16, "/dev/ttyACM5"},
          PortCase{0, std::nullopt}, PortCase{17, std::nullopt}, PortCase{-3, std::nullopt}})
        EXPECT_EQ(varlo::portDevicePath(port, std::nullopt), device) << port;
}

TEST(PortDevicePath, PortDirectoryReplacesTheTable)
{
    EXPECT_EQ(varlo::portDevicePath(3, "/tmp/ports"), "/tmp/ports/COM3");
    EXPECT_EQ(varlo::portDevicePath(16, "/tmp/ports"), "/tmp/ports/COM16");
    EXPECT_EQ(varlo::portDevicePath(17, "/tmp/ports"), std::nullopt);
}

} // namespace
