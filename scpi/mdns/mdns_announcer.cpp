#include "scpi/mdns/mdns_announcer.h"

#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>

#include <QTimer>

#include <cstdio>

namespace varlo::scpi {

MdnsAnnouncer::MdnsAnnouncer(Announcement announcement) : announcement_(std::move(announcement)) {}

MdnsAnnouncer::~MdnsAnnouncer()
{
    // Freeing the client withdraws what it announced.
    if (client_ != nullptr)
        avahi_client_free(client_);
}

void MdnsAnnouncer::start()
{
    connectToDaemon();
}

void MdnsAnnouncer::connectToDaemon()
{
    int error = 0;
    // Without a daemon the client waits for one to start, instead of failing.
    client_ = avahi_client_new(poll_.poll(), AVAHI_CLIENT_NO_FAIL, &MdnsAnnouncer::clientChanged,
                               this, &error);
    if (client_ == nullptr)
        fail(error);
}

void MdnsAnnouncer::reconnect()
{
    forgetGroup();
    if (client_ != nullptr)
        avahi_client_free(client_);
    client_ = nullptr;
    connectToDaemon();
}

void MdnsAnnouncer::forgetGroup()
{
    if (group_ != nullptr)
        avahi_entry_group_free(group_);
    group_ = nullptr;
}

// Called first from inside avahi_client_new, before client_ is set.
void MdnsAnnouncer::clientChanged(AvahiClient* client, AvahiClientState state, void* self)
{
    auto* announcer = static_cast<MdnsAnnouncer*>(self);
    announcer->client_ = client;
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        announcer->announce(client);
        break;
    case AVAHI_CLIENT_S_COLLISION:
    case AVAHI_CLIENT_S_REGISTERING:
        // The host's own name is being settled: the services follow once it is.
        if (announcer->group_ != nullptr)
            avahi_entry_group_reset(announcer->group_);
        break;
    case AVAHI_CLIENT_CONNECTING:
        announcer->forgetGroup();
        if (!announcer->toldNoDaemon_)
            std::fprintf(stderr, "varlo-scpi: no Avahi daemon is running: the program is "
                                 "announced on the network once one starts\n");
        announcer->toldNoDaemon_ = true;
        break;
    case AVAHI_CLIENT_FAILURE:
        if (avahi_client_errno(client) == AVAHI_ERR_DISCONNECTED) {
            std::fprintf(stderr, "varlo-scpi: the Avahi daemon has stopped: the program is "
                                 "announced again once it is back\n");
            announcer->toldNoDaemon_ = true;
            // Not from inside the client's own callback.
            QTimer::singleShot(0, announcer, &MdnsAnnouncer::reconnect);
        } else {
            announcer->fail(avahi_client_errno(client));
        }
        break;
    }
}

void MdnsAnnouncer::announce(AvahiClient* client)
{
    if (group_ == nullptr)
        group_ = avahi_entry_group_new(client, &MdnsAnnouncer::groupChanged, this);
    if (group_ == nullptr) {
        fail(avahi_client_errno(client));
        return;
    }
    if (!avahi_entry_group_is_empty(group_))
        return;
    for (const AnnouncedService& service : announcement_.services) {
        // Added one by one, the strings go out in the order they were added.
        AvahiStringList* txt = nullptr;
        for (const std::string& text : service.txt)
            txt = avahi_string_list_add(txt, text.c_str());
        const int added = avahi_entry_group_add_service_strlst(
            group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, static_cast<AvahiPublishFlags>(0),
            announcement_.name.c_str(), service.type.c_str(), nullptr, nullptr,
            static_cast<std::uint16_t>(service.port), txt);
        avahi_string_list_free(txt);
        if (added == AVAHI_ERR_COLLISION) {
            takeAlternativeName();
            return;
        }
        if (added < 0) {
            fail(added);
            return;
        }
    }
    if (const int committed = avahi_entry_group_commit(group_); committed < 0)
        fail(committed);
}

void MdnsAnnouncer::groupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self)
{
    auto* announcer = static_cast<MdnsAnnouncer*>(self);
    announcer->group_ = group;
    switch (state) {
    case AVAHI_ENTRY_GROUP_ESTABLISHED: {
        const char* host = avahi_client_get_host_name_fqdn(avahi_entry_group_get_client(group));
        std::printf("announced on the network as \"%s\"\n", announcer->announcement_.name.c_str());
        std::fflush(stdout);
        if (announcer->toldNoDaemon_)
            std::fprintf(stderr, "varlo-scpi: announced on the network again\n");
        announcer->toldNoDaemon_ = false;
        Q_EMIT announcer->announced(QString::fromStdString(announcer->announcement_.name),
                                    QString::fromUtf8(host != nullptr ? host : ""));
        break;
    }
    case AVAHI_ENTRY_GROUP_COLLISION:
        announcer->takeAlternativeName();
        break;
    case AVAHI_ENTRY_GROUP_FAILURE:
        announcer->fail(avahi_client_errno(avahi_entry_group_get_client(group)));
        break;
    case AVAHI_ENTRY_GROUP_UNCOMMITED:
    case AVAHI_ENTRY_GROUP_REGISTERING:
        break;
    }
}

void MdnsAnnouncer::takeAlternativeName()
{
    char* alternative = avahi_alternative_service_name(announcement_.name.c_str());
    std::fprintf(stderr,
                 "varlo-scpi: the name \"%s\" is taken on the network: announcing as \"%s\"\n",
                 announcement_.name.c_str(), alternative);
    announcement_.name = alternative;
    avahi_free(alternative);
    avahi_entry_group_reset(group_);
    announce(avahi_entry_group_get_client(group_));
}

void MdnsAnnouncer::fail(int error)
{
    std::fprintf(stderr, "varlo-scpi: cannot announce on the network: %s\n", avahi_strerror(error));
}

} // namespace varlo::scpi
