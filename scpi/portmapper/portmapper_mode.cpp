#include "scpi/portmapper/portmapper_mode.h"

namespace varlo::scpi {

std::optional<PortmapperMode> readPortmapperMode(std::string_view text)
{
    if (text == "auto")
        return PortmapperMode::Auto;
    if (text == "own")
        return PortmapperMode::Own;
    if (text == "system")
        return PortmapperMode::System;
    if (text == "off")
        return PortmapperMode::Off;
    return std::nullopt;
}

} // namespace varlo::scpi
