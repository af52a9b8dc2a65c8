#include "scpi/instr/vxi11_server.h"

#include "scpi/generator/journal.h"
#include "scpi/network/client_stream.h"
#include "scpi/network/descriptor_server.h"
#include "scpi/network/listening.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <utility>

#include <unistd.h>

namespace varlo::scpi::instr {

namespace {

using vxi11::ErrorCode;

// Connections beyond the links: a client's abort channel, one that is about to link.
constexpr int SpareConnections = 4;

bool isDeviceName(const std::string& device)
{
    return device.size() == 5 &&
           std::equal(device.begin(), device.end(), "inst0", [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

template <class Parms> std::uint32_t linkIn(const vxi11::Call& call)
{
    return std::get<Parms>(call.arguments).link;
}

} // namespace

struct Vxi11Server::ReplyHold {
    int count = 1; // the link's end itself, released once linkEnded has been emitted
    std::function<void()> answer;
    void release()
    {
        if (--count == 0 && answer)
            std::exchange(answer, {})();
    }
};

const Vxi11Server::CoreProcedure Vxi11Server::CoreProcedures[] = {
    {vxi11::procedure::CreateLink, &Vxi11Server::createLink},
    {vxi11::procedure::DeviceWrite, &Vxi11Server::deviceWrite},
    {vxi11::procedure::DeviceRead, &Vxi11Server::deviceRead},
    {vxi11::procedure::DeviceReadStb, &Vxi11Server::deviceReadStb},
    {vxi11::procedure::DeviceTrigger, &Vxi11Server::deviceAccepted},
    {vxi11::procedure::DeviceClear, &Vxi11Server::deviceClear},
    {vxi11::procedure::DeviceRemote, &Vxi11Server::deviceAccepted},
    {vxi11::procedure::DeviceLocal, &Vxi11Server::deviceAccepted},
    {vxi11::procedure::DeviceLock, &Vxi11Server::deviceLock},
    {vxi11::procedure::DeviceUnlock, &Vxi11Server::deviceUnlock},
    {vxi11::procedure::DeviceEnableSrq, &Vxi11Server::notSupported},
    {vxi11::procedure::DeviceDocmd, &Vxi11Server::notSupported},
    {vxi11::procedure::DestroyLink, &Vxi11Server::destroyLink},
    {vxi11::procedure::CreateIntrChan, &Vxi11Server::notSupported},
    {vxi11::procedure::DestroyIntrChan, &Vxi11Server::notSupported},
};

Vxi11Server::Vxi11Server(GeneratorLink& generator, int maxClients, std::chrono::seconds idleLimit)
    : generator_(generator), maxClients_(maxClients), idleLimit_(idleLimit)
{
}

Vxi11Server::~Vxi11Server()
{
    closeConnections();
}

QString Vxi11Server::listen(const QHostAddress& address, quint16 port)
{
    address_ = address;
    const int count = port == 0 ? SystemPorts : FixedPortsAfter + 1;
    const auto listenOn = [&](quint16 at, const vxi11::Program& program) -> QString {
        auto server = std::make_unique<DescriptorServer>(
            [this, &program](int descriptor) { accept(descriptor, program); });
        if (!server->listen(address, at))
            return QStringLiteral("port %1: %2").arg(at).arg(listenFailureText(*server));
        if (&program == &vxi11::abortChannel()) {
            abortServer_ = std::move(server);
        } else {
            corePorts_.push_back(server->serverPort());
            coreServers_.push_back(std::move(server));
        }
        return {};
    };
    QString why;
    for (int i = 0; i < count && why.isEmpty(); ++i)
        why = listenOn(port == 0 ? 0 : static_cast<quint16>(port + i), vxi11::coreChannel());
    if (why.isEmpty())
        why = listenOn(port == 0 ? 0 : static_cast<quint16>(port + count), vxi11::abortChannel());
    if (!why.isEmpty()) {
        coreServers_.clear();
        abortServer_.reset();
        corePorts_.clear();
    }
    return why;
}

std::uint16_t Vxi11Server::abortPort() const
{
    return abortServer_ ? abortServer_->serverPort() : 0;
}

QString Vxi11Server::listeningOn() const
{
    QStringList ports;
    for (const std::uint16_t port : corePorts_)
        ports.append(QString::number(port));
    QString host = hostPortText(address_, corePorts_.front());
    host.truncate(host.lastIndexOf(QLatin1Char(':')) + 1);
    return host + ports.join(QLatin1Char(',')) + QStringLiteral(", abort %1").arg(abortPort());
}

std::uint16_t Vxi11Server::takeAdvertisedPort()
{
    const std::uint16_t port = advertisedPort();
    nextPort_ = (nextPort_ + 1) % corePorts_.size();
    return port;
}

std::function<void()> Vxi11Server::holdReply()
{
    if (!holding_)
        return [] {};
    ++holding_->count;
    return [hold = holding_, released = std::make_shared<bool>(false)] {
        if (!std::exchange(*released, true))
            hold->release();
    };
}

void Vxi11Server::closeConnections()
{
    coreServers_.clear();
    abortServer_.reset();
    for (RpcConnection* connection : std::vector(connections_))
        connection->close();
}

void Vxi11Server::accept(int descriptor, const vxi11::Program& program)
{
    if (static_cast<int>(connections_.size()) >= maxClients_ + SpareConnections) {
        journalLimited("refused", "refused " + peerAddress(descriptor) + ": " +
                                      std::to_string(connections_.size()) +
                                      " VXI-11 connections are open");
        ::close(descriptor);
        return;
    }
    const bool core = &program == &vxi11::coreChannel();
    auto* connection = new RpcConnection(
        descriptor, program,
        [this, core](RpcConnection& from, const vxi11::Call& call) {
            core ? serveCore(from, call) : serveAbort(from, call);
        },
        this);
    connections_.push_back(connection);
    connect(connection, &RpcConnection::finished, this,
            [this, connection] { connectionFinished(connection); });
}

void Vxi11Server::connectionFinished(RpcConnection* connection)
{
    std::erase(connections_, connection);
    std::vector<std::uint32_t> ended;
    for (const auto& [id, link] : links_)
        if (link.connection == connection)
            ended.push_back(id);
    for (const std::uint32_t id : ended)
        endLink(id, {});
    connection->deleteLater();
}

void Vxi11Server::serveCore(RpcConnection& connection, const vxi11::Call& call)
{
    const Answer answer =
        [to = QPointer<RpcConnection>(&connection),
         head = vxi11::Call{call.xid, call.procedure, {}}](const vxi11::Result& result) {
            if (to)
                to->answer(head, result);
        };
    const auto* found = std::ranges::find(CoreProcedures, call.procedure, &CoreProcedure::number);
    (this->*found->serve)(connection, call, answer);
}

void Vxi11Server::serveAbort(RpcConnection& connection, const vxi11::Call& call)
{
    const auto found = links_.find(linkIn<vxi11::DeviceLink>(call));
    if (found != links_.end())
        found->second.link->abort();
    connection.answer(call,
                      vxi11::DeviceError{found == links_.end() ? ErrorCode::InvalidLinkIdentifier
                                                               : ErrorCode::NoError});
}

Vxi11Link* Vxi11Server::linkOf(const RpcConnection& connection, std::uint32_t id) const
{
    const auto found = links_.find(id);
    return found != links_.end() && found->second.connection == &connection
               ? found->second.link.get()
               : nullptr;
}

// A place for one more link: free, or taken from the link idle longest, if idle long enough.
bool Vxi11Server::makeRoom(const RpcConnection& connection)
{
    if (linkCount() < maxClients_)
        return true;
    const auto latest = Vxi11Link::Clock::now() - idleLimit_;
    const Link* longest = nullptr;
    for (const auto& [id, link] : links_) {
        const auto since = link.link->idleSince();
        if (since && *since <= latest &&
            (longest == nullptr || *since < *longest->link->idleSince()))
            longest = &link;
    }
    if (longest == nullptr) {
        journalLimited("refused", "refused " + connection.peer() + ": " +
                                      std::to_string(maxClients_) +
                                      (maxClients_ == 1 ? " VXI-11 link is" : " VXI-11 links are") +
                                      " open and none has been idle for " +
                                      std::to_string(idleLimit_.count()) + " s");
        return false;
    }
    const auto idleFor = std::chrono::duration_cast<std::chrono::seconds>(
        Vxi11Link::Clock::now() - *longest->link->idleSince());
    journal("closed " + longest->link->peer() + ", idle for " + std::to_string(idleFor.count()) +
            " s, to make room for " + connection.peer());
    if (longest->connection == &connection)
        endLink(longest->link->id(), {});
    else
        longest->connection->close();
    return true;
}

void Vxi11Server::endLink(std::uint32_t id, std::function<void()> answered)
{
    links_.erase(id);
    auto hold = std::make_shared<ReplyHold>();
    hold->answer = std::move(answered);
    holding_ = hold;
    Q_EMIT linkEnded();
    holding_.reset();
    if (hold->count > 1 && hold->answer)
        QTimer::singleShot(LinkEndHoldLimit, this, [hold] {
            if (hold->answer)
                std::exchange(hold->answer, {})();
        });
    hold->release();
}

void Vxi11Server::createLink(RpcConnection& connection, const vxi11::Call& call,
                             const Answer& answer)
{
    const auto& parms = std::get<vxi11::CreateLinkParms>(call.arguments);
    if (!isDeviceName(parms.device)) {
        answer(vxi11::CreateLinkResp{ErrorCode::DeviceNotAccessible});
        return;
    }
    if (!makeRoom(connection)) {
        answer(vxi11::CreateLinkResp{ErrorCode::OutOfResources});
        return;
    }
    const std::uint32_t id = ++lastLinkId_;
    links_[id] =
        Link{std::make_unique<Vxi11Link>(generator_, id, connection.peer(), nullptr), &connection};
    answer(vxi11::CreateLinkResp{ErrorCode::NoError, id, abortPort()});
}

void Vxi11Server::deviceWrite(RpcConnection& connection, const vxi11::Call& call,
                              const Answer& answer)
{
    const auto& parms = std::get<vxi11::DeviceWriteParms>(call.arguments);
    if (Vxi11Link* link = linkOf(connection, parms.link))
        link->write(parms, answer);
    else
        answer(vxi11::DeviceWriteResp{ErrorCode::InvalidLinkIdentifier});
}

void Vxi11Server::deviceRead(RpcConnection& connection, const vxi11::Call& call,
                             const Answer& answer)
{
    const auto& parms = std::get<vxi11::DeviceReadParms>(call.arguments);
    if (Vxi11Link* link = linkOf(connection, parms.link))
        link->read(parms, answer);
    else
        answer(vxi11::DeviceReadResp{ErrorCode::InvalidLinkIdentifier, 0, {}});
}

void Vxi11Server::deviceReadStb(RpcConnection& connection, const vxi11::Call& call,
                                const Answer& answer)
{
    if (Vxi11Link* link = linkOf(connection, linkIn<vxi11::DeviceGenericParms>(call)))
        answer(vxi11::DeviceReadStbResp{ErrorCode::NoError, link->statusByte()});
    else
        answer(vxi11::DeviceReadStbResp{ErrorCode::InvalidLinkIdentifier});
}

void Vxi11Server::deviceClear(RpcConnection& connection, const vxi11::Call& call,
                              const Answer& answer)
{
    Vxi11Link* link = linkOf(connection, linkIn<vxi11::DeviceGenericParms>(call));
    if (link)
        link->clear();
    answer(vxi11::DeviceError{link ? ErrorCode::NoError : ErrorCode::InvalidLinkIdentifier});
}

// device_trigger, device_remote and device_local: this generator has no trigger and no local
// lockout, so each is done as soon as asked.
void Vxi11Server::deviceAccepted(RpcConnection& connection, const vxi11::Call& call,
                                 const Answer& answer)
{
    const bool known = linkOf(connection, linkIn<vxi11::DeviceGenericParms>(call)) != nullptr;
    answer(vxi11::DeviceError{known ? ErrorCode::NoError : ErrorCode::InvalidLinkIdentifier});
}

void Vxi11Server::deviceLock(RpcConnection& connection, const vxi11::Call& call,
                             const Answer& answer)
{
    const bool known = linkOf(connection, linkIn<vxi11::DeviceLockParms>(call)) != nullptr;
    answer(vxi11::DeviceError{known ? ErrorCode::OperationNotSupported
                                    : ErrorCode::InvalidLinkIdentifier});
}

void Vxi11Server::deviceUnlock(RpcConnection& connection, const vxi11::Call& call,
                               const Answer& answer)
{
    const bool known = linkOf(connection, linkIn<vxi11::DeviceLink>(call)) != nullptr;
    answer(vxi11::DeviceError{known ? ErrorCode::OperationNotSupported
                                    : ErrorCode::InvalidLinkIdentifier});
}

void Vxi11Server::destroyLink(RpcConnection& connection, const vxi11::Call& call,
                              const Answer& answer)
{
    const std::uint32_t id = linkIn<vxi11::DeviceLink>(call);
    if (linkOf(connection, id) == nullptr) {
        answer(vxi11::DeviceError{ErrorCode::InvalidLinkIdentifier});
        return;
    }
    endLink(id, [answer] { answer(vxi11::DeviceError{ErrorCode::NoError}); });
}

// Service requests and device_docmd are not built: the standard "operation not supported".
void Vxi11Server::notSupported(RpcConnection&, const vxi11::Call& call, const Answer& answer)
{
    if (call.procedure == vxi11::procedure::DeviceDocmd)
        answer(vxi11::DeviceDocmdResp{ErrorCode::OperationNotSupported, {}});
    else
        answer(vxi11::DeviceError{ErrorCode::OperationNotSupported});
}

} // namespace varlo::scpi::instr
