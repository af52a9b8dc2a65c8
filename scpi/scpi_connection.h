#pragma once

#include "scpi/generator_link.h"
#include "scpi/input_lines.h"
#include "scpi/scpi_status.h"

#include <QObject>

#include <memory>
#include <optional>
#include <string>

class QTcpSocket;

namespace varlo::scpi {

// One client: its socket, its own input lines and its own status and error queue. Lines are
// read one at a time. One that needs nothing of the line, while none of the client's waits,
// is answered at once; any other waits its turn at the generator. While a line of its own
// waits there and about a second of line time is queued, nothing more is read from this
// client: its bytes stay in the kernel and TCP holds the client back, while other clients
// are still served.
class ScpiConnection : public QObject {
    Q_OBJECT

public:
    // Takes the socket over.
    ScpiConnection(QTcpSocket* socket, GeneratorLink& generator, QObject* parent);

    // Sends what is still unsent and says goodbye, as the program ends.
    void close();

Q_SIGNALS:
    // The client has gone and all it sent has run.
    void finished();

private:
    void readLines();
    bool heldBack() const;
    void runLine(const InputLines::Line& line);
    void lineDone(const std::optional<std::string>& reply);
    void send(const std::string& reply);
    void finishWhenDone();

    QTcpSocket* socket_;
    GeneratorLink& generator_;
    InputLines input_;
    std::shared_ptr<Session> session_ = std::make_shared<Session>();
    int linesWaiting_ = 0;
    bool reading_ = false;
    bool gone_ = false;
    bool finished_ = false;
};

} // namespace varlo::scpi
