#include "scpi/language/instrument_identity.h"

#include <algorithm>

namespace varlo::scpi {

namespace {

constexpr std::size_t MaxSerialNumberLength = 64;

InstrumentIdentity& identity()
{
    static InstrumentIdentity held;
    return held;
}

} // namespace

const InstrumentIdentity& instrumentIdentity()
{
    return identity();
}

void setSerialNumber(std::string serialNumber)
{
    identity().serialNumber = std::move(serialNumber);
}

bool isSerialNumberText(std::string_view text)
{
    return !text.empty() && text.size() <= MaxSerialNumberLength &&
           std::ranges::all_of(text, [](char c) {
               return c > ' ' && c < 0x7f && c != ',' && c != ';' && c != '"' && c != '\'';
           });
}

} // namespace varlo::scpi
