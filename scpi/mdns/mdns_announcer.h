#pragma once

#include "scpi/mdns/announcement.h"
#include "scpi/mdns/avahi_qt_poll.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>

#include <QObject>
#include <QString>

namespace varlo::scpi {

// Announces the program's services on the lab network through the system's Avahi daemon.
// It says on stderr, once each time, that there is no daemon (the program serves on and
// announces when one starts), that the daemon went away (announced again when it is back),
// and that the name was taken by another machine (the program takes Avahi's alternative and
// says which). Each time the services are announced it prints the name on stdout.
class MdnsAnnouncer : public QObject {
    Q_OBJECT

public:
    explicit MdnsAnnouncer(Announcement announcement);
    ~MdnsAnnouncer() override;
    MdnsAnnouncer(const MdnsAnnouncer&) = delete;
    MdnsAnnouncer& operator=(const MdnsAnnouncer&) = delete;

    void start();

Q_SIGNALS:
    // The services are announced under this name, on this host (Avahi's "HOST.local").
    void announced(const QString& serviceName, const QString& hostName);

private:
    static void clientChanged(AvahiClient* client, AvahiClientState state, void* self);
    static void groupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self);
    void connectToDaemon();
    void reconnect();
    void announce(AvahiClient* client);
    void takeAlternativeName();
    void forgetGroup();
    void fail(int error);

    AvahiQtPoll poll_;
    Announcement announcement_;
    AvahiClient* client_ = nullptr;
    AvahiEntryGroup* group_ = nullptr;
    bool toldNoDaemon_ = false;
};

} // namespace varlo::scpi
