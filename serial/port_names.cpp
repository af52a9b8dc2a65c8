#include "serial/port_names.h"

#include <cstdlib>

namespace varlo {

namespace {

struct DeviceRange {
    int firstPort;
    int lastPort;
    const char* devicePrefix;
};

// Where the usual Linux serial devices sit among COM1..COM16: on-board UARTs, then
// USB-serial adapters, then USB modems and CDC-ACM instruments.
constexpr DeviceRange UnixDevices[] = {
    {1, 4, "/dev/ttyS"},
    {5, 10, "/dev/ttyUSB"},
    {11, 16, "/dev/ttyACM"},
};

} // namespace

std::optional<std::string> portDevicePath(int port, std::optional<std::string_view> portDir)
{
    if (port < 1 || port > HighestPort)
        return std::nullopt;
    if (portDir)
        return std::string(*portDir) + "/COM" + std::to_string(port);
    for (const auto& range : UnixDevices)
        if (port >= range.firstPort && port <= range.lastPort)
            return range.devicePrefix + std::to_string(port - range.firstPort);
    return std::nullopt;
}

std::optional<std::string> configuredDevicePath(int port)
{
    const char* dir = std::getenv(PortDirVariable);
    std::optional<std::string_view> portDir;
    if (dir && *dir)
        portDir = dir;
    return portDevicePath(port, portDir);
}

std::string comName(int port)
{
    return "COM" + std::to_string(port);
}

std::string comNameWithDevice(int port, std::string_view device)
{
    return comName(port) + " (" + std::string(device) + ")";
}

} // namespace varlo
