#pragma once

#include "scpi/vxi11/xdr.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace varlo::scpi {

// The port a GETPORT for the core channel names. Each call may name another (a scope that
// reconnects from one source port gets a fresh pair each time), so it is asked once per
// answer, and only for a GETPORT of the core channel over TCP.
using CorePortSource = std::function<std::uint16_t()>;

// The own portmapper's reply to one record, a TCP record or a UDP datagram: NULL answers
// nothing, GETPORT the core channel's port for the VXI-11 core program over TCP and 0 for any
// other, and every other call the refusal that fits. Nothing for a record that is no call.
std::optional<vxi11::Bytes> portmapperAnswer(vxi11::ByteView record,
                                             const CorePortSource& corePort);

} // namespace varlo::scpi
