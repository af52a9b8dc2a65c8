#include "scpi/web/web_server.h"

#include "scpi/network/listening.h"
#include "scpi/web/bounded_tcp_server.h"
#include "scpi/web/page_client.h"
#include "scpi/web/request_checks.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QLoggingCategory>
#include <QTcpSocket>
#include <QWebSocket>

#include <optional>

namespace varlo::scpi::web {

namespace {

using StatusCode = QHttpServerResponder::StatusCode;

const QString LivePath = QStringLiteral("/live");

std::optional<QByteArray> headerOf(const QHttpServerRequest& request, QByteArrayView name)
{
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return std::nullopt;
}

// Qt HttpServer 6.4 hands a request that asks for a WebSocket over to its WebSocket server
// when the handler takes it, and otherwise to the handler for missing pages.
bool asksForWebSocket(const QHttpServerRequest& request)
{
    return request.value("Upgrade").compare("websocket", Qt::CaseInsensitive) == 0 &&
           request.value("Connection").toLower().contains("upgrade");
}

QByteArray pageFile(const QString& name)
{
    QFile file(QStringLiteral(":/page/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Answer {
    StatusCode status = StatusCode::Ok;
    QByteArray type = "text/plain; charset=utf-8";
    QByteArray body;
};

Answer refusal(StatusCode status, const char* words)
{
    return {status, "text/plain; charset=utf-8", words};
}

} // namespace

WebServer::WebServer(GeneratorLink& generator, ServedFacts facts)
    : generator_(generator), facts_(std::move(facts)),
      tcp_(new BoundedTcpServer(MaxConnections, this))
{
    // Qt warns of every WebSocket request the handler refuses; the refusal is the answer.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.httpserver.warning=false"));
    bind(tcp_);
    pushTimer_.setSingleShot(true);
    connect(&pushTimer_, &QTimer::timeout, this, &WebServer::pushStatus);
    connect(&generator_, &GeneratorLink::settingsChanged, this, &WebServer::pushSoon);
    connect(&generator_, &GeneratorLink::portStateChanged, this, &WebServer::pushSoon);
    connect(&generator_, &GeneratorLink::clientsChanged, this, &WebServer::pushSoon);
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &WebServer::acceptPages);
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

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    BoundedTcpServer::requestArrived(socket);
    if (asksForWebSocket(request)) {
        if (!mayGoLive(request, socket))
            return false;
        BoundedTcpServer::becameLive(socket);
        return true;
    }
    respond(request, socket);
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    respond(request, socket);
    if (asksForWebSocket(request))
        socket->disconnectFromHost();
}

WebServer::Standing WebServer::standingOf(const QHttpServerRequest& request,
                                          QTcpSocket* socket) const
{
    const std::string host = request.value("Host").toStdString();
    if (!isServedHost(host, servedHostNames(facts_, socket->localAddress()), facts_.webPort))
        return Standing::OtherHost;
    const std::optional<QByteArray> origin = headerOf(request, "Origin");
    const std::string from = origin ? origin->toStdString() : std::string();
    if (!isSameOrigin(origin ? std::optional<std::string_view>(from) : std::nullopt, host))
        return Standing::OtherSite;
    return Standing::Served;
}

bool WebServer::mayGoLive(const QHttpServerRequest& request, QTcpSocket* socket) const
{
    return request.url().path() == LivePath && pages_ < MaxPages &&
           standingOf(request, socket) == Standing::Served;
}

void WebServer::respond(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const Standing standing = standingOf(request, socket);
    const QString path = request.url().path();
    Answer answer;
    if (standing == Standing::OtherHost)
        answer = refusal(StatusCode::MisdirectedRequest,
                         "varlo-scpi answers to its own addresses and host name only.\n");
    else if (standing == Standing::OtherSite)
        answer = refusal(StatusCode::Forbidden,
                         "varlo-scpi takes nothing from a page of another site.\n");
    else if (request.method() != QHttpServerRequest::Method::Get)
        answer = refusal(StatusCode::MethodNotAllowed, "Only GET is answered here.\n");
    else if (path == QStringLiteral("/"))
        answer = {StatusCode::Ok, "text/html; charset=utf-8",
                  pageFile(QStringLiteral("index.html"))};
    else if (path == QStringLiteral("/page.css"))
        answer = {StatusCode::Ok, "text/css; charset=utf-8", pageFile(QStringLiteral("page.css"))};
    else if (path == QStringLiteral("/page.js"))
        answer = {StatusCode::Ok, "text/javascript; charset=utf-8",
                  pageFile(QStringLiteral("page.js"))};
    else if (path == QStringLiteral("/lxi/identification"))
        answer = {StatusCode::Ok, "text/xml",
                  QByteArray::fromStdString(identificationFor(
                      facts_, socket->localAddress(), QString::fromLatin1(request.value("Host"))))};
    else if (path == LivePath && asksForWebSocket(request))
        answer = refusal(StatusCode::ServiceUnavailable,
                         "As many pages are open as varlo-scpi serves: close one.\n");
    else if (path == LivePath)
        answer = refusal(StatusCode::UpgradeRequired, "This is the pages' live channel.\n");
    else
        answer = refusal(StatusCode::NotFound, "Nothing here: the page is at /.\n");

    // An answer to HEAD has no body, and Qt HttpServer 6.4 writes whatever it is given.
    if (request.method() == QHttpServerRequest::Method::Head)
        answer.body.clear();
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.write(answer.body,
                    {{"Content-Type", answer.type},
                     {"Cache-Control", "no-store"},
                     {"X-Content-Type-Options", "nosniff"},
                     {"Referrer-Policy", "no-referrer"},
                     {"Content-Security-Policy",
                      "default-src 'self'; connect-src 'self'; frame-ancestors 'none'; "
                      "base-uri 'none'; form-action 'none'"},
                     {"Allow", "GET"}},
                    answer.status);
}

void WebServer::acceptPages()
{
    while (hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = nextPendingWebSocketConnection();
        auto* page = new PageClient(std::move(socket), generator_, this);
        ++pages_;
        connect(page, &PageClient::finished, this, [this, page] {
            --pages_;
            page->deleteLater();
            pushSoon();
        });
        page->send(aboutMessage(facts_, page->localAddress()));
        page->sendStatus(statusMessage(generator_.settings(), generator_.portState(),
                                       facts_.portName, clientCounts()));
    }
    pushSoon();
}

ClientCounts WebServer::clientCounts() const
{
    return {generator_.clientCount(GeneratorLink::ClientKind::Socket),
            generator_.clientCount(GeneratorLink::ClientKind::Page)};
}

void WebServer::pushSoon()
{
    if (!pushTimer_.isActive())
        pushTimer_.start(PushMilliseconds);
}

void WebServer::pushStatus()
{
    const QByteArray status = statusMessage(generator_.settings(), generator_.portState(),
                                            facts_.portName, clientCounts());
    for (PageClient* page : findChildren<PageClient*>(Qt::FindDirectChildrenOnly))
        page->sendStatus(status);
}

} // namespace varlo::scpi::web
