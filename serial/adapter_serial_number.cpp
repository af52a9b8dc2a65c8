#include "serial/adapter_serial_number.h"

#include "serial/port_names.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace varlo {

std::string adapterSerialNumber(const PortChoice& port)
{
    const std::optional<std::string> path =
        port.number != 0 ? configuredDevicePath(port.number) : port.devicePath;
    if (!path)
        return {};
    // A name under /dev/serial/by-id or in a port directory leads to the device the system
    // lists.
    const QString device = QFileInfo(QString::fromStdString(*path)).canonicalFilePath();
    if (device.isEmpty())
        return {};
    return QSerialPortInfo(device).serialNumber().trimmed().toStdString();
}

} // namespace varlo
