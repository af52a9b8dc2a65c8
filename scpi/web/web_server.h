#pragma once

#include "scpi/generator/generator_link.h"
#include "scpi/web/page_messages.h"
#include "scpi/web/served_facts.h"

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QString>
#include <QTimer>

namespace varlo::scpi::web {

class BoundedTcpServer;

// The web port: the welcome page and front panel at /, its style and script, the
// identification document at /lxi/identification, and the pages' live channels at /live.
// Every request is checked before anything is served: its Host must name this program
// (421 otherwise), an Origin must be this program's own (403), and only GET is answered
// (405). Pages set the generator only through their live channel, each as one more client of
// the generator's one owner; what the generator holds is pushed to every page when it
// changes, gathered over PushMilliseconds.
class WebServer : public QAbstractHttpServer {
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

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    // Whether a request names this program and comes from its own pages, if from a page.
    enum class Standing { Served, OtherHost, OtherSite };

    Standing standingOf(const QHttpServerRequest& request, QTcpSocket* socket) const;
    void respond(const QHttpServerRequest& request, QTcpSocket* socket);
    bool mayGoLive(const QHttpServerRequest& request, QTcpSocket* socket) const;
    void acceptPages();
    ClientCounts clientCounts() const;
    void pushSoon();
    void pushStatus();

    GeneratorLink& generator_;
    ServedFacts facts_;
    BoundedTcpServer* tcp_;
    int pages_ = 0;
    QTimer pushTimer_;
};

} // namespace varlo::scpi::web
