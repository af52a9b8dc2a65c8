#pragma once

#include "serial/port_diagnosis.h"

#include <string>

namespace varlo {

// One line naming port n, its device and its state, with what the user can do about it:
// "COM3 (/dev/ttyUSB0): permission denied; add yourself to the dialout group: ...".
std::string portStateText(int port, const PortDiagnosis& diagnosis);

// The same for a device named by its path: "/dev/ttyUSB0: missing".
std::string deviceStateText(const PortDiagnosis& diagnosis);

} // namespace varlo
