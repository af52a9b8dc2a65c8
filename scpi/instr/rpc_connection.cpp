#include "scpi/instr/rpc_connection.h"

#include "scpi/generator/journal.h"

#include <QMetaObject>

#include <algorithm>
#include <variant>

namespace varlo::scpi::instr {

namespace {

// Replies the client has not taken yet: past that, it is not read from until it reads.
constexpr std::size_t UnsentReplies = 64 * 1024;

void sendRecord(ClientStream& stream, const vxi11::Bytes& record)
{
    const vxi11::Bytes bytes = vxi11::framedRecord(record);
    stream.write({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

} // namespace

RpcConnection::RpcConnection(int descriptor, const vxi11::Program& program, Handler handler,
                             QObject* parent)
    : QObject(parent), stream_(descriptor), program_(program), handler_(std::move(handler))
{
    recordTimer_.setSingleShot(true);
    recordTimer_.setInterval(RecordTimeLimit);
    connect(&recordTimer_, &QTimer::timeout, this, [this] {
        closeFor("a record left unfinished for " + std::to_string(RecordTimeLimit.count()) + " s");
    });
    connect(&stream_, &ClientStream::readyRead, this, &RpcConnection::readCalls);
    connect(&stream_, &ClientStream::bytesWritten, this, &RpcConnection::readCalls);
    QMetaObject::invokeMethod(this, &RpcConnection::readCalls, Qt::QueuedConnection);
}

void RpcConnection::answer(const vxi11::Call& call, const vxi11::Result& result)
{
    if (finished_)
        return;
    sendRecord(stream_, vxi11::replyTo(program_, call, result));
    answering_ = false;
    // Queued: an answer given inside the handler does not read the next call there.
    QMetaObject::invokeMethod(this, &RpcConnection::readCalls, Qt::QueuedConnection);
}

void RpcConnection::close()
{
    if (finished_)
        return;
    finished_ = true;
    recordTimer_.stop();
    stream_.close();
    Q_EMIT finished();
}

void RpcConnection::closeFor(const std::string& why)
{
    journalLimited("rpc", "closed " + peer() + ": " + why);
    close();
}

void RpcConnection::readCalls()
{
    if (reading_ || finished_)
        return;
    reading_ = true;
    while (!answering_ && !finished_ && stream_.bytesToWrite() <= UnsentReplies) {
        if (auto record = records_.next()) {
            take(*record);
            continue;
        }
        if (records_.refused()) {
            closeFor("a record longer than " + std::to_string(vxi11::MaxRecordBytes) + " bytes");
            break;
        }
        std::uint8_t chunk[4096];
        const std::size_t read =
            stream_.read(reinterpret_cast<char*>(chunk), std::min(sizeof chunk, records_.wanted()));
        if (read == 0)
            break;
        records_.take(vxi11::ByteView(chunk, read));
    }
    if (!finished_) {
        if (!records_.midRecord())
            recordTimer_.stop();
        else if (!recordTimer_.isActive())
            recordTimer_.start();
        if (stream_.inputEnded() && !answering_ && stream_.bytesToWrite() == 0)
            close();
    }
    reading_ = false;
}

void RpcConnection::take(const vxi11::Bytes& record)
{
    auto decoded = vxi11::decodeCall(record, program_);
    if (const auto* refusal = std::get_if<vxi11::Refusal>(&decoded)) {
        const auto reply = vxi11::refusalReply(*refusal);
        if (!reply) {
            closeFor("not an RPC call");
            return;
        }
        sendRecord(stream_, *reply);
        return;
    }
    answering_ = true;
    handler_(*this, std::get<vxi11::Call>(decoded));
}

} // namespace varlo::scpi::instr
