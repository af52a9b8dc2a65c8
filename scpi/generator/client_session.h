#pragma once

#include "scpi/generator/generator_link.h"
#include "scpi/language/program_message.h"
#include "scpi/language/scpi_status.h"

#include <QObject>

#include <memory>

namespace varlo::scpi {

// One client of the generator's owner, whatever carries its lines (a TCP connection, a web
// page's socket): its own status and error queue, and its lines run in the order they came.
// A line that needs nothing of the line, while none of this client's lines waits, is answered
// at once; any other waits its turn at the generator.
class ClientSession : public QObject {
public:
    // A client with this many lines waiting is not read from until one has run.
    static constexpr int MaxMessagesWaiting = 64;

    ClientSession(GeneratorLink& generator, GeneratorLink::ClientKind kind,
                  QObject* parent = nullptr);
    ~ClientSession() override;
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    // Runs one line as received; `done` gets its reply (none for a line that answers
    // nothing), at once or once the line has run, unless this session is gone by then.
    void run(const ProgramMessage& line, GeneratorLink::Done done);
    // Whether the client may send another line now: fewer than MaxMessagesWaiting of its lines
    // wait, and none while about a second of line time waits at the generator. Past that,
    // whatever carries its lines stops reading from it.
    bool takesMore() const;
    int messagesWaiting() const { return messagesWaiting_; }
    // The client's status and error queue, for a way in that reads them without a line.
    const Session& status() const { return *session_; }

private:
    GeneratorLink& generator_;
    GeneratorLink::ClientKind kind_;
    std::shared_ptr<Session> session_ = std::make_shared<Session>();
    int messagesWaiting_ = 0;
};

} // namespace varlo::scpi
