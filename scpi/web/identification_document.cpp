#include "scpi/web/identification_document.h"

#include "scpi/web/markup_escaping.h"

namespace varlo::scpi {

namespace {

void element(std::string& out, std::string_view indent, std::string_view name,
             std::string_view text)
{
    out += indent;
    out += '<';
    out += name;
    out += '>';
    out += web::markupEscaped(text);
    out += "</";
    out += name;
    out += ">\n";
}

} // namespace

std::string identificationDocument(const IdentificationFacts& facts)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<LXIDevice "
                      "xmlns=\"http://lxistandard.org/schemas/InstrumentIdentification/2.0\">\n";
    element(out, "  ", "Manufacturer", facts.identity.manufacturer);
    element(out, "  ", "Model", facts.identity.model);
    element(out, "  ", "SerialNumber", facts.identity.serialNumber);
    element(out, "  ", "FirmwareRevision", facts.identity.firmwareVersion);
    element(out, "  ", "ManufacturerDescription", facts.description);
    element(out, "  ", "HomepageURL", facts.homepageUrl);
    element(out, "  ", "UserDescription", facts.serviceName);
    element(out, "  ", "IdentificationURL", facts.identificationUrl);
    out += "  <Interface InterfaceType=\"LXI\">\n";
    for (const std::string& address : facts.addressStrings)
        element(out, "    ", "InstrumentAddressString", address);
    element(out, "    ", "Hostname", facts.hostName);
    element(out, "    ", "IPAddress", facts.ipAddress);
    element(out, "    ", "MACAddress", facts.macAddress);
    out += "  </Interface>\n"
           "  <LXIVersion></LXIVersion>\n"
           "</LXIDevice>\n";
    return out;
}

} // namespace varlo::scpi
