#include "scpi/socket/scpi_connection.h"

#include <QMetaObject>

namespace varlo::scpi {

namespace {

// Taken from the socket at a time: a line of the longest kind and its end.
constexpr std::size_t ReadChunk = MaxMessageBytes;
// Replies the client has not taken yet: past that, it is not read from until it reads.
constexpr std::size_t UnsentReplies = 64 * 1024;
// Lines of one client run in one turn of the event loop: lines that fail at once (the port
// gone) or are answered at once are many, and other clients are served between turns.
constexpr int MessagesPerTurn = 64;

} // namespace

ScpiConnection::ScpiConnection(int descriptor, GeneratorLink& generator, QObject* parent)
    : QObject(parent), stream_(descriptor),
      session_(generator, GeneratorLink::ClientKind::Socket, "SOCKET " + stream_.peer())
{
    connect(&stream_, &ClientStream::readyRead, this, &ScpiConnection::readMessages);
    connect(&stream_, &ClientStream::bytesWritten, this, &ScpiConnection::repliesSent);
    // Queued: the generator tells of progress from inside its own work.
    connect(&generator, &GeneratorLink::progressed, this, &ScpiConnection::readMessages,
            Qt::QueuedConnection);
}

std::optional<ScpiConnection::Clock::time_point> ScpiConnection::idleSince() const
{
    if (finished_ || session_.messagesWaiting() > 0 || stream_.bytesToWrite() > 0 ||
        input_.hasMessage() || session_.holdsLock())
        return std::nullopt;
    return lastActive_;
}

void ScpiConnection::close()
{
    if (finished_)
        return;
    finished_ = true;
    stream_.close();
    Q_EMIT finished();
}

void ScpiConnection::readMessages()
{
    if (reading_ || finished_)
        return;
    reading_ = true;
    int lines = 0;
    while (!heldBack()) {
        if (lines == MessagesPerTurn) {
            QMetaObject::invokeMethod(this, &ScpiConnection::readMessages, Qt::QueuedConnection);
            break;
        }
        if (auto line = input_.next()) {
            ++lines;
            lastActive_ = Clock::now();
            session_.run(*line, [this](std::optional<std::string> reply) { messageDone(reply); });
            continue;
        }
        char chunk[ReadChunk];
        const std::size_t read = stream_.read(chunk, sizeof chunk);
        if (read == 0)
            break;
        input_.add(std::string_view(chunk, read));
    }
    reading_ = false;
    finishWhenDone();
}

bool ScpiConnection::heldBack() const
{
    return !session_.takesMore() || stream_.bytesToWrite() > UnsentReplies;
}

// More is read at the generator's next word of progress, which comes queued: a line that
// ends inside the generator's own work does not read the next lines there, or a client
// sending faster than it is answered would keep the program from every other client and
// from a signal.
void ScpiConnection::messageDone(const std::optional<std::string>& reply)
{
    lastActive_ = Clock::now();
    if (reply)
        stream_.write(*reply + '\n');
}

void ScpiConnection::repliesSent()
{
    lastActive_ = Clock::now();
    readMessages();
}

// A client whose input has ended leaves once its last lines have run and their replies have
// gone, or could not; an unfinished last line of it is dropped.
void ScpiConnection::finishWhenDone()
{
    if (finished_ || !stream_.inputEnded() || session_.messagesWaiting() > 0 || input_.hasMessage())
        return;
    if (!stream_.broken() && stream_.bytesToWrite() > 0)
        return;
    close();
}

} // namespace varlo::scpi
