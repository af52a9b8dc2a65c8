#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varlo {

// The ports are COM1 to COM16.
inline constexpr int HighestPort = 16;

// The device behind port number n (1..16). With a port directory, COMn is the entry "COMn"
// in it and nothing else. Without one: COM1-4 -> /dev/ttyS0-3, COM5-10 -> /dev/ttyUSB0-5,
// COM11-16 -> /dev/ttyACM0-5. nullopt outside 1..16.
std::optional<std::string> portDevicePath(int port, std::optional<std::string_view> portDir);

// Name of the environment variable that holds the port directory.
inline constexpr const char* PortDirVariable = "VARLO_PORT_DIR";

// The device behind port number n with the port directory this process was started with.
std::optional<std::string> configuredDevicePath(int port);

// Port n as messages name it: "COM3", and with its device "COM3 (/dev/ttyUSB0)".
std::string comName(int port);
std::string comNameWithDevice(int port, std::string_view device);

} // namespace varlo
