#include "scpi/portmapper/portmapper_answer.h"

#include "scpi/vxi11/portmap_types.h"
#include "scpi/vxi11/procedure_table.h"
#include "scpi/vxi11/vxi11_types.h"

namespace varlo::scpi {

std::optional<vxi11::Bytes> portmapperAnswer(vxi11::ByteView record, const CorePortSource& corePort)
{
    using namespace vxi11;
    const auto decoded = decodeCall(record, portmapper());
    if (const auto* refusal = std::get_if<Refusal>(&decoded))
        return refusalReply(*refusal);
    const Call& call = std::get<Call>(decoded);
    if (call.procedure == procedure::PortmapperNull)
        return replyTo(portmapper(), call, Void{});
    // Any version of the core program: there is one, and a tool that asks for another still
    // finds it, as rpcbind answers with the program's port whatever version is registered.
    const Mapping& asked = std::get<Mapping>(call.arguments);
    const bool core = asked.program == CoreProgram && asked.protocol == Mapping::Tcp;
    return replyTo(portmapper(), call, Port{core ? corePort() : 0u});
}

} // namespace varlo::scpi
