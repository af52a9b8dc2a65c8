#include "scpi/network/descriptor_server.h"

namespace varlo::scpi {

void DescriptorServer::incomingConnection(qintptr descriptor)
{
    take_(static_cast<int>(descriptor));
}

} // namespace varlo::scpi
