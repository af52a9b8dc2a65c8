#pragma once

#include "scpi/generator/client_session.h"
#include "scpi/generator/generator_link.h"
#include "scpi/vxi11/procedure_table.h"
#include "scpi/vxi11/vxi11_types.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace varlo::scpi::instr {

// One VXI-11 link: one more client of the generator's owner, with its own status and error
// queue. device_write pieces are joined into a message until END; the message runs as a
// socket line does, and the write is answered once its commands are on the line. Each reply
// is kept, ended by LF, for device_read to take in pieces of requestSize. A call that waits
// (a write for the line, a read for a reply) is answered later from the event loop, by its
// io_timeout at the latest.
class Vxi11Link : public QObject {
public:
    using Clock = std::chrono::steady_clock;
    using Answer = std::function<void(const vxi11::Result& result)>;

    Vxi11Link(GeneratorLink& generator, std::uint32_t id, std::string peer, QObject* parent);

    std::uint32_t id() const { return id_; }
    // The client's address: "127.0.0.1:50312".
    const std::string& peer() const { return peer_; }

    void write(const vxi11::DeviceWriteParms& call, Answer answer);
    void read(const vxi11::DeviceReadParms& call, Answer answer);
    // The status byte, as *STB? answers it, with a reply waiting as its MAV bit.
    std::uint8_t statusByte() const;
    // device_clear: the message being joined and the replies not yet read go.
    void clear();
    // device_abort: the call that waits ends with error 23.
    void abort();

    // Since when the link has been idle: no call but a read waiting, no message running.
    std::optional<Clock::time_point> idleSince() const;

private:
    struct Waiting {
        Answer answer;
        bool isRead = false;
        vxi11::DeviceReadParms read;
        std::uint64_t run = 0; // the message whose write waits
        std::uint32_t size = 0;
    };

    void messageDone(std::uint64_t run, std::uint64_t generation,
                     const std::optional<std::string>& reply);
    void wait(Waiting waiting, std::uint32_t timeoutMs);
    void timedOut();
    vxi11::DeviceReadResp take(const vxi11::DeviceReadParms& call);
    void finishWaiting(const vxi11::Result& result);

    std::uint32_t id_;
    std::string peer_;
    ClientSession session_;
    std::string message_;  // the pieces before END
    bool tooLong_ = false; // past MaxWriteDataBytes: the rest of the message is dropped
    std::deque<std::string> replies_;
    std::size_t frontRead_ = 0; // what of the first reply has been read
    std::uint64_t runs_ = 0;
    std::uint64_t generation_ = 0; // device_clear drops the replies of messages before it
    std::optional<Waiting> waiting_;
    QTimer timeout_;
    Clock::time_point lastActive_ = Clock::now();
};

} // namespace varlo::scpi::instr
