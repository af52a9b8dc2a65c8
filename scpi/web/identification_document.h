#pragma once

#include "scpi/language/instrument_identity.h"

#include <string>
#include <vector>

namespace varlo::scpi {

// What the identification document says of the program and of the network interface a
// request came in on.
struct IdentificationFacts {
    InstrumentIdentity identity;
    std::string description;
    std::string homepageUrl;
    std::string serviceName;
    std::string identificationUrl;
    // The VISA resource strings of the interface, INSTR first (resourceStringsAt): by
    // address, then by host name.
    std::vector<std::string> addressStrings;
    std::string hostName;
    std::string ipAddress;
    std::string macAddress;
};

// The document GET /lxi/identification answers, in the LXI instrument-identification schema,
// version 2.0, elements in the schema's order. LXIVersion, which the schema requires, is
// present and empty: the program claims no LXI version.
std::string identificationDocument(const IdentificationFacts& facts);

} // namespace varlo::scpi
