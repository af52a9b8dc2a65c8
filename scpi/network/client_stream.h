#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <cstddef>
#include <string>
#include <string_view>

namespace varlo::scpi {

// A connected TCP client, over its descriptor. Qt's own socket closes the whole connection
// when the client shuts down its sending side, and a reply to a line sent just before is
// lost; here the end of the client's input is told apart from the end of the connection, so
// that a client that half-closes (echo '*IDN?' | socat - TCP:...) is still answered.
// Nothing is read but when asked: a reader that stops asking holds the client back by TCP.
class ClientStream : public QObject {
    Q_OBJECT

public:
    // Takes the connected descriptor over.
    explicit ClientStream(int descriptor, QObject* parent = nullptr);
    ~ClientStream() override;
    ClientStream(const ClientStream&) = delete;
    ClientStream& operator=(const ClientStream&) = delete;

    // Up to `size` bytes the client sent: 0 when none wait now (readyRead() tells of more)
    // or its input has ended.
    std::size_t read(char* data, std::size_t size);
    // The client has sent all it will: it shut down its sending side, or the connection ended.
    bool inputEnded() const { return inputEnded_; }
    // Sends the bytes, what the socket does not take now as it takes more; dropped once the
    // connection is broken.
    void write(std::string_view bytes);
    std::size_t bytesToWrite() const { return unsent_.size() - sentOf_; }
    // Nothing more can reach the client.
    bool broken() const { return broken_; }
    // Closes the connection; what is still unsent is dropped.
    void close();
    // The client's address: "127.0.0.1:50312", "[::1]:50312".
    const std::string& peer() const { return peer_; }

Q_SIGNALS:
    // The client sent more, or ended its input.
    void readyRead();
    // Everything written has gone to the client, or the connection broke.
    void bytesWritten();

private:
    void flush();
    void breakOff();

    int descriptor_;
    std::string peer_;
    QSocketNotifier readable_;
    QSocketNotifier writable_;
    std::string unsent_;
    std::size_t sentOf_ = 0; // the part of unsent_ already sent
    bool inputEnded_ = false;
    bool broken_ = false;
};

// The address and port of the other end of a connected socket, as ClientStream::peer()
// words it.
std::string peerAddress(int descriptor);

} // namespace varlo::scpi
