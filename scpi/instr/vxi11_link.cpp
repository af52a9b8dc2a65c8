#include "scpi/instr/vxi11_link.h"

#include <algorithm>
#include <climits>

namespace varlo::scpi::instr {

namespace {

using vxi11::ErrorCode;

constexpr std::uint8_t MessageAvailable = 0x10;
constexpr std::uint8_t ServiceRequest = 0x40;

// A message as the client ended it: a trailing LF or CR LF is its end, not its text.
std::string withoutEnd(std::string message)
{
    if (message.ends_with('\n'))
        message.pop_back();
    if (message.ends_with('\r'))
        message.pop_back();
    return message;
}

} // namespace

Vxi11Link::Vxi11Link(GeneratorLink& generator, std::uint32_t id, std::string peer, QObject* parent)
    : QObject(parent), id_(id), peer_(std::move(peer)),
      session_(generator, GeneratorLink::ClientKind::Vxi11)
{
    timeout_.setSingleShot(true);
    connect(&timeout_, &QTimer::timeout, this, &Vxi11Link::timedOut);
}

void Vxi11Link::write(const vxi11::DeviceWriteParms& call, Answer answer)
{
    lastActive_ = Clock::now();
    const auto size = static_cast<std::uint32_t>(call.data.size());
    if (!tooLong_ && message_.size() + call.data.size() > vxi11::MaxWriteDataBytes) {
        tooLong_ = true;
        message_.clear();
    }
    if (!tooLong_)
        message_ += call.data;
    if ((call.flags & vxi11::flag::End) == 0) {
        answer(vxi11::DeviceWriteResp{ErrorCode::NoError, size});
        return;
    }
    const ProgramMessage message{withoutEnd(std::exchange(message_, {})),
                                 std::exchange(tooLong_, false)};
    const std::uint64_t run = ++runs_;
    wait(Waiting{std::move(answer), false, {}, run, size}, call.ioTimeoutMs);
    session_.run(message, [this, run, generation = generation_](std::optional<std::string> reply) {
        messageDone(run, generation, reply);
    });
}

void Vxi11Link::read(const vxi11::DeviceReadParms& call, Answer answer)
{
    lastActive_ = Clock::now();
    if (!replies_.empty()) {
        answer(take(call));
        return;
    }
    wait(Waiting{std::move(answer), true, call}, call.ioTimeoutMs);
}

void Vxi11Link::messageDone(std::uint64_t run, std::uint64_t generation,
                            const std::optional<std::string>& reply)
{
    lastActive_ = Clock::now();
    if (reply && generation == generation_)
        replies_.push_back(*reply + '\n');
    if (!waiting_)
        return;
    if (!waiting_->isRead && waiting_->run == run)
        finishWaiting(vxi11::DeviceWriteResp{ErrorCode::NoError, waiting_->size});
    else if (waiting_->isRead && !replies_.empty())
        finishWaiting(take(waiting_->read));
}

// A reply in pieces: no more than requestSize, up to the termination character when asked,
// and never past the end of one reply, which is the END of the piece that reaches it.
vxi11::DeviceReadResp Vxi11Link::take(const vxi11::DeviceReadParms& call)
{
    const std::string& reply = replies_.front();
    std::size_t size = std::min<std::size_t>(call.requestSize, reply.size() - frontRead_);
    std::int32_t reason = 0;
    if ((call.flags & vxi11::flag::TermCharSet) != 0) {
        const std::size_t at = reply.find(call.termChar, frontRead_);
        if (at != std::string::npos && at < frontRead_ + size) {
            size = at + 1 - frontRead_;
            reason |= vxi11::reason::Character;
        }
    }
    if (size == call.requestSize)
        reason |= vxi11::reason::RequestCount;
    vxi11::DeviceReadResp answer{ErrorCode::NoError, 0, reply.substr(frontRead_, size)};
    frontRead_ += size;
    if (frontRead_ == reply.size()) {
        reason |= vxi11::reason::End;
        replies_.pop_front();
        frontRead_ = 0;
    }
    answer.reason = reason;
    return answer;
}

std::uint8_t Vxi11Link::statusByte() const
{
    const Session& status = session_.status();
    std::uint8_t byte = status.statusByte();
    if (!replies_.empty()) {
        byte |= MessageAvailable;
        if ((status.serviceEnable() & MessageAvailable) != 0)
            byte |= ServiceRequest;
    }
    return byte;
}

void Vxi11Link::clear()
{
    lastActive_ = Clock::now();
    message_.clear();
    tooLong_ = false;
    replies_.clear();
    frontRead_ = 0;
    ++generation_;
}

void Vxi11Link::abort()
{
    if (!waiting_)
        return;
    if (waiting_->isRead)
        finishWaiting(vxi11::DeviceReadResp{ErrorCode::Abort, 0, {}});
    else
        finishWaiting(vxi11::DeviceWriteResp{ErrorCode::Abort});
}

std::optional<Vxi11Link::Clock::time_point> Vxi11Link::idleSince() const
{
    if (session_.messagesWaiting() > 0 || (waiting_ && !waiting_->isRead))
        return std::nullopt;
    return lastActive_;
}

// A timeout longer than a timer holds (some 24 days) waits for good, as the client asked.
void Vxi11Link::wait(Waiting waiting, std::uint32_t timeoutMs)
{
    waiting_ = std::move(waiting);
    if (timeoutMs <= static_cast<std::uint32_t>(INT_MAX))
        timeout_.start(std::chrono::milliseconds(timeoutMs));
}

// A read finds no reply in time: error 15. A write whose message has not reached the line in
// time, the line stalled or held by others: error 17, the device's I/O failing. The message
// still runs when its turn comes, and its reply is kept.
void Vxi11Link::timedOut()
{
    if (!waiting_)
        return;
    if (waiting_->isRead)
        finishWaiting(vxi11::DeviceReadResp{ErrorCode::IoTimeout, 0, {}});
    else
        finishWaiting(vxi11::DeviceWriteResp{ErrorCode::IoError});
}

void Vxi11Link::finishWaiting(const vxi11::Result& result)
{
    timeout_.stop();
    lastActive_ = Clock::now();
    Answer answer = std::move(waiting_->answer);
    waiting_.reset();
    answer(result);
}

} // namespace varlo::scpi::instr
