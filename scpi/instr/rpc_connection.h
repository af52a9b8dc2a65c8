#pragma once

#include "scpi/network/client_stream.h"
#include "scpi/vxi11/procedure_table.h"
#include "scpi/vxi11/record_marking.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>

namespace varlo::scpi::instr {

// One TCP connection to a channel: its records read one call at a time, each call handed on
// and answered once, at once or later; the next is not read until then, so that a client
// that sends faster than it is answered is held back by TCP. A call that cannot be served
// gets the RPC refusal that fits; a record too long or a call unreadable closes the
// connection, and so does a record left half-sent for RecordTimeLimit.
class RpcConnection : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::seconds RecordTimeLimit{10};
    using Handler = std::function<void(RpcConnection& connection, const vxi11::Call& call)>;

    // Takes the connected descriptor over; `handler` gets each call, which is answered by
    // answer() exactly once. Reading starts from the event loop.
    RpcConnection(int descriptor, const vxi11::Program& program, Handler handler, QObject* parent);

    // The reply to the call being answered; then the next call is read.
    void answer(const vxi11::Call& call, const vxi11::Result& result);
    const std::string& peer() const { return stream_.peer(); }
    // Closes the connection at once; a call being answered is answered into nothing.
    void close();

Q_SIGNALS:
    // The connection is closed.
    void finished();

private:
    void readCalls();
    void take(const vxi11::Bytes& record);
    void closeFor(const std::string& why);

    ClientStream stream_;
    const vxi11::Program& program_;
    Handler handler_;
    vxi11::RecordReader records_;
    QTimer recordTimer_;
    bool answering_ = false;
    bool reading_ = false;
    bool finished_ = false;
};

} // namespace varlo::scpi::instr
