#pragma once

#include "scpi/language/scpi_status.h"

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace varlo::scpi {

// Who may change the generator's settings: every client, or while one holds the lock, that
// one alone. Clients are known by their session from their arrival to their leaving, each
// with the name SYSTem:LOCK:OWNer? tells: its kind and address, "SOCKET 127.0.0.1:41000". A
// client that has left cannot take the lock, so a line of it still waiting never does.
class GeneratorLock {
public:
    void join(const Session& client, std::string name);
    // The client has gone: the lock, if it held it, is free.
    void leave(const Session& client);

    // Takes the lock for the client unless another holds it: whether it holds it now.
    bool request(const Session& client);
    // Frees the lock if this client holds it: false when it did not.
    bool release(const Session& client);

    bool heldBy(const Session& client) const { return holder_ == &client; }
    // The holder's name while a client other than this one holds the lock.
    std::optional<std::string> heldByOther(const Session& client) const;
    // The holder's name, none while the lock is free.
    std::optional<std::string> holder() const;

    // Called each time the lock is taken or freed.
    void onChange(std::function<void()> changed) { changed_ = std::move(changed); }

private:
    void setHolder(const Session* holder);

    std::map<const Session*, std::string> names_;
    const Session* holder_ = nullptr;
    std::function<void()> changed_;
};

} // namespace varlo::scpi
