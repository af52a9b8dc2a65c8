#pragma once

#include <avahi-common/watch.h>

namespace varlo::scpi {

// Avahi's client library run by Qt's event loop: its descriptors watched by socket notifiers
// and its timeouts by timers, so that announcing needs no thread and no locks of its own.
class AvahiQtPoll {
public:
    AvahiQtPoll();
    AvahiQtPoll(const AvahiQtPoll&) = delete;
    AvahiQtPoll& operator=(const AvahiQtPoll&) = delete;

    const AvahiPoll* poll() const { return &poll_; }

private:
    AvahiPoll poll_{};
};

} // namespace varlo::scpi
