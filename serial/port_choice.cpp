#include "serial/port_choice.h"

#include "entry/whole_number.h"
#include "serial/port_names.h"

#include <algorithm>

namespace varlo {

Checked<PortChoice> parsePort(std::string_view text)
{
    if (text.find('/') != std::string_view::npos)
        return PortChoice{0, std::string(text)};
    const bool comPrefix = text.size() > 3 && (text[0] == 'C' || text[0] == 'c') &&
                           (text[1] == 'O' || text[1] == 'o') && (text[2] == 'M' || text[2] == 'm');
    // The port's own name: COM3, never COM03.
    if (comPrefix && text[3] != '0')
        if (const auto number = wholeNumber(text.substr(3), 1, HighestPort))
            return PortChoice{*number, {}};
    return Refusal{"--port takes COM1 to COM16 or a device path such as /dev/ttyUSB0, not \"" +
                   std::string(text) + "\""};
}

std::string portName(const PortChoice& port)
{
    if (port.number == 0)
        return port.devicePath;
    if (const auto path = configuredDevicePath(port.number))
        return comNameWithDevice(port.number, *path);
    return comName(port.number);
}

Checked<LineSettings> parseSettingsOption(std::string_view text)
{
    std::string blanks(text);
    std::ranges::replace(blanks, ',', ' ');
    if (const auto settings = parseLineSettings(blanks))
        return *settings;
    return Refusal{"--settings takes baud, parity, data bits and stop bits such as 9600,N,8,1 "
                   "or \"9600 N 8 1\", not \"" +
                   std::string(text) + "\""};
}

} // namespace varlo
