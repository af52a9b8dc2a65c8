#include "scpi/web/web_server.h"

#include "scpi/generator/journal.h"
#include "scpi/network/listening.h"
#include "scpi/web/bounded_tcp_server.h"
#include "scpi/web/page_client.h"
#include "scpi/web/request_checks.h"
#include "scpi/web/web_connection.h"

#include <QFile>
#include <QTcpSocket>
#include <QWebSocket>

#include <algorithm>
#include <array>
#include <string_view>

namespace varlo::scpi::web {

namespace {

constexpr std::string_view LivePath = "/live";

std::string pageFile(const char* name)
{
    QFile file(QStringLiteral(":/page/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// What an answer is made from: the program's facts, the request and the connection it came
// on, and the generator as it stands.
struct ServedRequest {
    const ServedFacts& facts;
    const RequestHead& request;
    const QTcpSocket& socket;
    PageStatus status;
};

// The page with its facts written in, so that it shows them without its script, which then
// keeps them live.
std::string indexPage(const ServedRequest& served)
{
    std::vector<PageFact> facts = aboutFacts(served.facts, served.socket.localAddress());
    for (PageFact& fact : statusFacts(served.status))
        facts.push_back(std::move(fact));
    return pageWithFacts(pageFile("index.html"), facts);
}

std::string pageStyle(const ServedRequest&)
{
    return pageFile("page.css");
}

std::string pageScript(const ServedRequest&)
{
    return pageFile("page.js");
}

std::string identification(const ServedRequest& served)
{
    return identificationFor(served.facts, served.socket.localAddress(),
                             QString::fromStdString(served.request.field("Host").value_or("")));
}

// What is served at each path, besides the live channel.
struct ServedPath {
    std::string_view path;
    const char* type;
    std::string (*body)(const ServedRequest&);
};

constexpr std::array ServedPaths = {
    ServedPath{"/", "text/html; charset=utf-8", indexPage},
    ServedPath{"/page.css", "text/css; charset=utf-8", pageStyle},
    ServedPath{"/page.js", "text/javascript; charset=utf-8", pageScript},
    ServedPath{"/lxi/identification", "text/xml", identification},
};

Answer plain(int status, const char* words)
{
    return {status, "text/plain; charset=utf-8", words};
}

} // namespace

WebServer::WebServer(GeneratorLink& generator, ServedFacts facts)
    : generator_(generator), facts_(std::move(facts)),
      tcp_(new BoundedTcpServer(MaxConnections, this)),
      liveChannels_(QStringLiteral("varlo-scpi"), QWebSocketServer::NonSecureMode)
{
    pushTimer_.setSingleShot(true);
    connect(&pushTimer_, &QTimer::timeout, this, &WebServer::pushStatus);
    connect(&generator_, &GeneratorLink::settingsChanged, this, &WebServer::pushSoon);
    connect(&generator_, &GeneratorLink::portStateChanged, this, &WebServer::pushSoon);
    connect(&generator_, &GeneratorLink::clientsChanged, this, &WebServer::pushSoon);
    connect(&generator_, &GeneratorLink::lockChanged, this, &WebServer::pushSoon);
    connect(&generator_, &GeneratorLink::sweepChanged, this, &WebServer::pushSoon);
    connect(tcp_, &QTcpServer::newConnection, this, &WebServer::acceptConnections);
    connect(&liveChannels_, &QWebSocketServer::newConnection, this, &WebServer::acceptPages);
}

QString WebServer::listen(const QHostAddress& address, quint16 port)
{
    if (!tcp_->listen(address, port))
        return listenFailureText(*tcp_);
    facts_.webPort = tcp_->serverPort();
    return {};
}

QString WebServer::listeningOn() const
{
    return hostPortText(tcp_->serverAddress(), tcp_->serverPort());
}

void WebServer::setAnnouncedNames(const QString& serviceName, const QString& hostName)
{
    facts_.serviceName = serviceName;
    facts_.hostName = hostName;
    for (PageClient* page : findChildren<PageClient*>(Qt::FindDirectChildrenOnly))
        page->send(aboutMessage(facts_, page->localAddress()));
}

void WebServer::closeConnections()
{
    tcp_->close();
    for (PageClient* page : findChildren<PageClient*>(Qt::FindDirectChildrenOnly))
        page->close();
}

void WebServer::acceptConnections()
{
    while (QTcpSocket* socket = tcp_->nextPendingConnection())
        new WebConnection(socket, [this](const RequestHead& request, QTcpSocket& on) {
            return respond(request, on);
        });
}

WebServer::Standing WebServer::standingOf(const RequestHead& request, QTcpSocket& socket) const
{
    const std::string host = request.field("Host").value_or("");
    if (!isServedHost(host, servedHostNames(facts_, socket.localAddress()), facts_.webPort))
        return Standing::OtherHost;
    const std::optional<std::string> origin = request.field("Origin");
    if (!isSameOrigin(origin ? std::optional<std::string_view>(*origin) : std::nullopt, host))
        return Standing::OtherSite;
    return Standing::Served;
}

Answer WebServer::refusal(int status, const char* words, const RequestHead& request,
                          QTcpSocket& socket, const std::string& why) const
{
    journalLimited("web: refused " + std::to_string(status),
                   "web: refused " + peerText(socket) + ": " + std::to_string(status) + ' ' +
                       reasonPhrase(status) + ", " + request.method + ' ' + request.path + ' ' +
                       why);
    return plain(status, words);
}

std::optional<Answer> WebServer::respond(const RequestHead& request, QTcpSocket& socket)
{
    switch (standingOf(request, socket)) {
    case Standing::OtherHost:
        return refusal(421, "varlo-scpi answers to its own addresses and host name only.\n",
                       request, socket, "for Host \"" + request.field("Host").value_or("") + '"');
    case Standing::OtherSite:
        return refusal(403, "varlo-scpi takes nothing from a page of another site.\n", request,
                       socket, "from Origin \"" + request.field("Origin").value_or("") + '"');
    case Standing::Served:
        break;
    }
    if (request.path == LivePath && request.asksForWebSocket()) {
        std::erase_if(opening_, [](const QPointer<QTcpSocket>& opening) { return !opening; });
        if (pages_ + int(opening_.size()) >= MaxPages)
            return refusal(503, "As many pages are open as varlo-scpi serves: close one.\n",
                           request, socket, "with " + std::to_string(MaxPages) + " pages open");
        opening_.emplace_back(&socket);
        liveChannels_.handleConnection(&socket);
        return std::nullopt;
    }
    if (request.method != "GET")
        return plain(405, "Only GET is answered here.\n");
    if (request.path == LivePath)
        return plain(426, "This is the pages' live channel.\n");
    const auto served = std::ranges::find(ServedPaths, request.path, &ServedPath::path);
    if (served == ServedPaths.end())
        return plain(404, "Nothing here: the page is at /.\n");
    return Answer{200, served->type, served->body({facts_, request, socket, pageStatus(false)})};
}

void WebServer::acceptPages()
{
    while (liveChannels_.hasPendingConnections()) {
        std::unique_ptr<QWebSocket> socket(liveChannels_.nextPendingConnection());
        // The TCP socket under it, by its peer: what waits to be sent to the page is counted
        // there, pongs included.
        QTcpSocket* tcp = nullptr;
        for (const QPointer<QTcpSocket>& opening : opening_)
            if (opening && opening->peerPort() == socket->peerPort() &&
                opening->peerAddress() == socket->peerAddress())
                tcp = opening;
        std::erase_if(opening_, [tcp](const QPointer<QTcpSocket>& opening) {
            return !opening || opening == tcp;
        });
        auto* page = new PageClient(std::move(socket), tcp, generator_, this);
        ++pages_;
        connect(page, &PageClient::finished, this, [this, page] {
            --pages_;
            page->deleteLater();
            pushSoon();
        });
        page->send(aboutMessage(facts_, page->localAddress()));
        page->sendStatus(statusFor(*page));
    }
    pushSoon();
}

ClientCounts WebServer::clientCounts() const
{
    return {generator_.clientCount(GeneratorLink::ClientKind::Socket),
            generator_.clientCount(GeneratorLink::ClientKind::Page),
            generator_.clientCount(GeneratorLink::ClientKind::Vxi11)};
}

PageStatus WebServer::pageStatus(bool holdsLock) const
{
    return {generator_.settings(),
            generator_.portState(),
            facts_.portName,
            clientCounts(),
            {generator_.lockHolder(), holdsLock},
            generator_.sweep()};
}

// Each page is told whether the lock is its own.
QByteArray WebServer::statusFor(const PageClient& page) const
{
    return statusMessage(pageStatus(page.holdsLock()));
}

void WebServer::pushSoon()
{
    if (!pushTimer_.isActive())
        pushTimer_.start(PushMilliseconds);
}

void WebServer::pushStatus()
{
    for (PageClient* page : findChildren<PageClient*>(Qt::FindDirectChildrenOnly))
        page->sendStatus(statusFor(*page));
}

} // namespace varlo::scpi::web
