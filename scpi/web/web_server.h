#pragma once

#include "scpi/generator/generator_link.h"
#include "scpi/web/http_answer.h"
#include "scpi/web/page_messages.h"
#include "scpi/web/request_head.h"
#include "scpi/web/served_facts.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWebSocketServer>

#include <optional>
#include <vector>

class QTcpSocket;

namespace varlo::scpi::web {

class BoundedTcpServer;
class PageClient;

// The web port: the welcome page and front panel at /, its style and script, the
// identification document at /lxi/identification, and the pages' live channels at /live.
// Every request is checked before anything is served: its Host must name this program
// (421 otherwise), an Origin must be this program's own (403), and only GET is answered
// (405). Pages set the generator only through their live channel, each as one more client of
// the generator's one owner; what the generator holds is pushed to every page when it
// changes, gathered over PushMilliseconds. The same code serves on Qt 6.4 and 6.8: it reads
// requests itself (WebConnection) and hands an opening it takes to Qt WebSockets, whose
// handleConnection both have.
class WebServer : public QObject {
    Q_OBJECT

public:
    static constexpr int MaxConnections = 64;
    static constexpr int MaxPages = 16;
    static constexpr int PushMilliseconds = 50;

    WebServer(GeneratorLink& generator, ServedFacts facts);

    // Empty when listening, else why not, in the user's words.
    QString listen(const QHostAddress& address, quint16 port);
    QString listeningOn() const;
    quint16 port() const { return facts_.webPort; }
    // The names Avahi announced the program and its host under.
    void setAnnouncedNames(const QString& serviceName, const QString& hostName);
    // Says goodbye to every page, as the program ends.
    void closeConnections();

private:
    // Whether a request names this program and comes from its own pages, if from a page.
    enum class Standing { Served, OtherHost, OtherSite };

    void acceptConnections();
    std::optional<Answer> respond(const RequestHead& request, QTcpSocket& socket);
    Standing standingOf(const RequestHead& request, QTcpSocket& socket) const;
    Answer refusal(int status, const char* words, const RequestHead& request, QTcpSocket& socket,
                   const std::string& why) const;
    void acceptPages();
    ClientCounts clientCounts() const;
    // The generator as a page sees it, which holds the lock or not.
    PageStatus pageStatus(bool holdsLock) const;
    QByteArray statusFor(const PageClient& page) const;
    void pushSoon();
    void pushStatus();

    GeneratorLink& generator_;
    ServedFacts facts_;
    BoundedTcpServer* tcp_;
    QWebSocketServer liveChannels_;
    // Sockets handed to Qt WebSockets that have not yet come back as a page.
    std::vector<QPointer<QTcpSocket>> opening_;
    int pages_ = 0;
    QTimer pushTimer_;
};

} // namespace varlo::scpi::web
