#pragma once

#include "scpi/generator/client_session.h"
#include "scpi/generator/generator_link.h"
#include "scpi/network/client_stream.h"
#include "scpi/socket/input_messages.h"

#include <QObject>

#include <chrono>
#include <optional>
#include <string>

namespace varlo::scpi {

// One TCP client: its socket, its own input lines, and its session at the generator. Lines
// are read one at a time while the session takes more; past that, nothing more is read from
// this client: its bytes stay in the kernel and TCP holds the client back, while other
// clients are still served. A client that shuts down its sending side is answered for every
// line it sent before, then closed.
class ScpiConnection : public QObject {
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    // Takes the connected descriptor over. Reading starts from the event loop.
    ScpiConnection(int descriptor, GeneratorLink& generator, QObject* parent);

    // Since when the client has been idle: no whole message received, nothing waiting,
    // nothing being answered. None while it is busy. Bytes of an unfinished message do not
    // count: a client trickling them would otherwise hold its place for good.
    std::optional<Clock::time_point> idleSince() const;
    const std::string& peer() const { return stream_.peer(); }
    // Closes the connection at once, as the program ends or another client needs the place.
    void close();

Q_SIGNALS:
    // The connection is closed and all the client sent has run.
    void finished();

private:
    void readMessages();
    bool heldBack() const;
    void messageDone(const std::optional<std::string>& reply);
    void repliesSent();
    void finishWhenDone();

    ClientStream stream_;
    ClientSession session_;
    InputMessages input_;
    Clock::time_point lastActive_ = Clock::now();
    bool reading_ = false;
    bool finished_ = false;
};

} // namespace varlo::scpi
