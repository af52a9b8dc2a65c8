#include "scpi/mdns/avahi_qt_poll.h"

#include <avahi-common/timeval.h>

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cstdint>

// Avahi names these types and leaves them to the poll implementation.
struct AvahiWatch {
    int fd = -1;
    AvahiWatchEvent happened = static_cast<AvahiWatchEvent>(0);
    AvahiWatchCallback callback = nullptr;
    void* userdata = nullptr;
    QSocketNotifier* readable = nullptr;
    QSocketNotifier* writable = nullptr;
};

struct AvahiTimeout {
    QTimer* timer = nullptr;
    AvahiTimeoutCallback callback = nullptr;
    void* userdata = nullptr;
};

namespace varlo::scpi {

namespace {

// The callback may free the watch: nothing of it is touched after the call.
void fire(AvahiWatch* watch, AvahiWatchEvent event)
{
    watch->happened = event;
    watch->callback(watch, watch->fd, event, watch->userdata);
}

// A notifier may be freed from inside its own signal: it goes once that has returned.
void discard(QObject* object)
{
    if (object != nullptr)
        object->deleteLater();
}

void updateWatch(AvahiWatch* watch, AvahiWatchEvent events)
{
    watch->readable->setEnabled((events & AVAHI_WATCH_IN) != 0);
    watch->writable->setEnabled((events & AVAHI_WATCH_OUT) != 0);
}

AvahiWatch* newWatch(const AvahiPoll*, int fd, AvahiWatchEvent events, AvahiWatchCallback callback,
                     void* userdata)
{
    auto* watch = new AvahiWatch{fd,
                                 static_cast<AvahiWatchEvent>(0),
                                 callback,
                                 userdata,
                                 new QSocketNotifier(fd, QSocketNotifier::Read),
                                 new QSocketNotifier(fd, QSocketNotifier::Write)};
    // A hang-up or an error on the descriptor wakes the read notifier: Avahi reads it and
    // finds out.
    QObject::connect(watch->readable, &QSocketNotifier::activated, watch->readable,
                     [watch] { fire(watch, AVAHI_WATCH_IN); });
    QObject::connect(watch->writable, &QSocketNotifier::activated, watch->writable,
                     [watch] { fire(watch, AVAHI_WATCH_OUT); });
    updateWatch(watch, events);
    return watch;
}

AvahiWatchEvent watchEvents(AvahiWatch* watch)
{
    return watch->happened;
}

void freeWatch(AvahiWatch* watch)
{
    watch->readable->setEnabled(false);
    watch->writable->setEnabled(false);
    discard(watch->readable);
    discard(watch->writable);
    delete watch;
}

void armTimeout(AvahiTimeout* timeout, const struct timeval* when)
{
    if (when == nullptr) {
        timeout->timer->stop();
        return;
    }
    // avahi_age is how long ago the time was: a time to come is negative.
    const AvahiUsec ahead = -avahi_age(when);
    const AvahiUsec milliseconds = ahead <= 0 ? 0 : (ahead + 999) / 1000;
    timeout->timer->start(static_cast<int>(std::min<AvahiUsec>(milliseconds, INT32_MAX)));
}

AvahiTimeout* newTimeout(const AvahiPoll*, const struct timeval* when,
                         AvahiTimeoutCallback callback, void* userdata)
{
    auto* timeout = new AvahiTimeout{new QTimer, callback, userdata};
    timeout->timer->setSingleShot(true);
    QObject::connect(timeout->timer, &QTimer::timeout, timeout->timer,
                     [timeout] { timeout->callback(timeout, timeout->userdata); });
    armTimeout(timeout, when);
    return timeout;
}

void freeTimeout(AvahiTimeout* timeout)
{
    timeout->timer->stop();
    discard(timeout->timer);
    delete timeout;
}

} // namespace

AvahiQtPoll::AvahiQtPoll()
{
    poll_.userdata = this;
    poll_.watch_new = newWatch;
    poll_.watch_update = updateWatch;
    poll_.watch_get_events = watchEvents;
    poll_.watch_free = freeWatch;
    poll_.timeout_new = newTimeout;
    poll_.timeout_update = armTimeout;
    poll_.timeout_free = freeTimeout;
}

} // namespace varlo::scpi
