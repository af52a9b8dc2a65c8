// The module that the panel loads for --connect: ServerLink behind the panel's
// ServerConnection, so that Qt Network is mapped only by a panel that goes through varlo-scpi.

#include "panel/server_connection.h"
#include "scpi_client/server_link.h"

#include <QtGlobal>

#include <utility>

namespace varlo {

namespace {

class PanelServerLink final : public ServerConnection {
public:
    explicit PanelServerLink(const ServerAddress& server) : link_(server) {}

    const ServerAddress& server() const override { return link_.server(); }
    std::optional<ServerFailure> setOutput(std::string_view command) override
    {
        return link_.setOutput(command);
    }
    std::variant<GeneratorState, ServerFailure> readHeld() override { return link_.readHeld(); }
    void reportTo(HeldHandler held, LostHandler lost) override
    {
        QObject::connect(&link_, &ServerLink::held, &link_, std::move(held));
        QObject::connect(&link_, &ServerLink::lost, &link_, std::move(lost));
    }
    void startFollowing() override { link_.startFollowing(); }
    void close() override { link_.close(); }

private:
    ServerLink link_;
};

} // namespace

} // namespace varlo

extern "C" Q_DECL_EXPORT varlo::ServerConnection*
varlo_open_server_connection(const varlo::ServerAddress* server)
{
    return new varlo::PanelServerLink(*server);
}
