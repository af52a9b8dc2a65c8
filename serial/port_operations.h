#pragma once

#include "serial/port_diagnosis.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace varlo {

// The port operations the start-up scan needs, so the scan itself stays free of Qt.
class PortOperations {
public:
    virtual ~PortOperations() = default;
    // port when it was set, configured and opened (and closed again unless keepOpen); else 0.
    virtual int OpenPort(int port, std::string_view settings, int keepOpen) = 0;
    // 0, or the communication error code of a close that failed.
    virtual std::int16_t ClosePort() = 0;
    // Why the last OpenPort gave 0, once it got as far as a device; nullopt otherwise.
    virtual std::optional<PortDiagnosis> lastOpenFailure() const = 0;
};

} // namespace varlo
