#include "scpi/scpi_connection.h"

#include "scpi/command_table.h"

#include <QPointer>
#include <QTcpSocket>

namespace varlo::scpi {

namespace {

// Taken from the socket at a time: a line of the longest kind and its end.
constexpr qint64 ReadChunk = InputLines::MaxLineBytes;
// What Qt may hold of a client's unread bytes before it leaves the rest in the kernel.
constexpr qint64 SocketBuffer = 16 * 1024;
// Replies the client has not taken yet: past that, it is not read from until it reads.
constexpr qint64 UnsentReplies = 64 * 1024;

} // namespace

ScpiConnection::ScpiConnection(QTcpSocket* socket, GeneratorLink& generator, QObject* parent)
    : QObject(parent), socket_(socket), generator_(generator)
{
    socket_->setParent(this);
    socket_->setReadBufferSize(SocketBuffer);
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // A client whose machine vanished without closing is found out in time and gives its
    // place back.
    socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    connect(socket_, &QTcpSocket::readyRead, this, &ScpiConnection::readLines);
    connect(socket_, &QTcpSocket::bytesWritten, this, &ScpiConnection::readLines);
    connect(socket_, &QTcpSocket::disconnected, this, [this] {
        gone_ = true;
        readLines();
    });
    // Queued: the generator tells of progress from inside its own work.
    connect(&generator_, &GeneratorLink::progressed, this, &ScpiConnection::readLines,
            Qt::QueuedConnection);
    readLines();
}

void ScpiConnection::close()
{
    socket_->flush();
    socket_->disconnectFromHost();
}

void ScpiConnection::readLines()
{
    if (reading_ || finished_)
        return;
    reading_ = true;
    while (!heldBack()) {
        if (auto line = input_.next()) {
            runLine(*line);
            continue;
        }
        char chunk[ReadChunk];
        const qint64 read = socket_->read(chunk, sizeof chunk);
        if (read <= 0)
            break;
        input_.add(std::string_view(chunk, static_cast<std::size_t>(read)));
    }
    reading_ = false;
    finishWhenDone();
}

bool ScpiConnection::heldBack() const
{
    return (linesWaiting_ > 0 && generator_.backlogFull()) ||
           socket_->bytesToWrite() > UnsentReplies;
}

void ScpiConnection::runLine(const InputLines::Line& line)
{
    std::vector<Step> steps;
    if (line.tooLong)
        steps.push_back(ErrorStep{Error::Syntax});
    else
        steps = stepsForLine(line.text);
    LineRun run(std::move(steps));
    if (linesWaiting_ == 0 && !run.needsLine()) {
        GeneratorState sent = generator_.settings();
        lineDone(std::get<LineRun::Finished>(run.advance(*session_, sent)).reply);
        return;
    }
    ++linesWaiting_;
    generator_.submit(session_, std::move(run),
                      [self = QPointer<ScpiConnection>(this)](std::optional<std::string> reply) {
                          if (self) {
                              --self->linesWaiting_;
                              self->lineDone(reply);
                          }
                      });
}

void ScpiConnection::lineDone(const std::optional<std::string>& reply)
{
    if (reply)
        send(*reply);
    if (!reading_)
        readLines();
}

void ScpiConnection::send(const std::string& reply)
{
    if (gone_ || socket_->state() != QAbstractSocket::ConnectedState)
        return;
    std::string line = reply;
    line += '\n';
    socket_->write(line.data(), static_cast<qint64>(line.size()));
}

// A client that has gone leaves once its last lines have run; an unfinished line of it
// is dropped.
void ScpiConnection::finishWhenDone()
{
    if (!gone_ || finished_ || linesWaiting_ > 0 || input_.hasLine() ||
        socket_->bytesAvailable() > 0)
        return;
    finished_ = true;
    Q_EMIT finished();
}

} // namespace varlo::scpi
