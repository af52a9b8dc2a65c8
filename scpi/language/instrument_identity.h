#pragma once

#include <string>
#include <string_view>

namespace varlo::scpi {

// What the program says it is, in the four fields *IDN? answers. The TXT records of its
// network services and its identification document say the same.
struct InstrumentIdentity {
    std::string manufacturer = "Varlo";
    std::string model = "varlo-scpi";
    // The USB adapter's serial number where it has one, or the one given; 0 otherwise.
    std::string serialNumber = "0";
    std::string firmwareVersion = VARLO_SCPI_VERSION;
};

// The program's identity; set once at start, before any client is served.
const InstrumentIdentity& instrumentIdentity();
void setSerialNumber(std::string serialNumber);

// Whether a text can stand as a serial number in *IDN?'s comma-separated answer and in a TXT
// record: 1 to 64 printable ASCII characters, none of them a blank, a comma, a semicolon or
// a quote.
bool isSerialNumberText(std::string_view text);

} // namespace varlo::scpi
