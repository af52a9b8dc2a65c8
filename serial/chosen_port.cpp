#include "serial/chosen_port.h"

#include "serial/comm_error_text.h"
#include "serial/port_names.h"
#include "serial/port_state_text.h"

namespace varlo {

std::int16_t openChosenPort(SerialLink& link, const PortChoice& port, const LineSettings& settings)
{
    std::int16_t code =
        port.number != 0 ? link.setCommPort(port.number) : link.setDevicePath(port.devicePath);
    if (code == comm_code::None)
        code = link.setLineSettings(settings);
    if (code == comm_code::None)
        code = link.setPortOpen(true);
    return code;
}

std::string openFailureText(const SerialLink& link, const PortChoice& port, std::int16_t code)
{
    if (const auto diagnosis = link.lastOpenFailure())
        return port.number != 0 ? portStateText(port.number, *diagnosis)
                                : deviceStateText(*diagnosis);
    const std::string name = port.number != 0 ? comName(port.number) : port.devicePath;
    return name + ": " + commErrorText(code);
}

} // namespace varlo
