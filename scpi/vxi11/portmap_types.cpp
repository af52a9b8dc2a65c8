#include "scpi/vxi11/portmap_types.h"

namespace varlo::vxi11 {

Mapping Mapping::read(XdrReader& in)
{
    Mapping mapping;
    mapping.program = in.u32();
    mapping.version = in.u32();
    mapping.protocol = in.u32();
    mapping.port = in.u32();
    return mapping;
}

void Mapping::write(XdrWriter& out) const
{
    out.u32(program);
    out.u32(version);
    out.u32(protocol);
    out.u32(port);
}

void Port::write(XdrWriter& out) const
{
    out.u32(port);
}

} // namespace varlo::vxi11
