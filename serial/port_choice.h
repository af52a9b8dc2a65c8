#pragma once

#include "entry/checked.h"
#include "serial/line_settings.h"

#include <string>
#include <string_view>

namespace varlo {

// The port a program without the panel's scan is told to use: COMn from the panel's table, or
// a device path.
struct PortChoice {
    int number = 0;         // 1..16 for COMn, else 0
    std::string devicePath; // a path such as /dev/ttyUSB0, else empty
    friend bool operator==(const PortChoice&, const PortChoice&) = default;
};

// --port: "COM3" (in either case) or a path containing "/".
Checked<PortChoice> parsePort(std::string_view text);

// The port as messages name it: "COM3 (/dev/ttyUSB0)", or the path it was given by.
std::string portName(const PortChoice& port);

// --settings: the panel's "9600 N 8 1", or the same with commas for blanks ("9600,N,8,1").
Checked<LineSettings> parseSettingsOption(std::string_view text);

} // namespace varlo
